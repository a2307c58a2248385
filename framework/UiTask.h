// Running code on the thread that owns a window. Worker threads reach
// windows only through this: the call is sent to the window as one private
// message carrying a closure, the window's thread runs it between two of its
// own messages, and the caller waits for the result. The UI thread never waits
// for a worker, so the wait cannot deadlock.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// The message that carries a task; CWnd and CDialogEx answer it for every
// window they own. WM_APP and up is free for an application's own use (the
// WM_USER range belongs to the window classes).
constexpr UINT kMsgUiTask = WM_APP + 0x5A;

// Runs task on hwnd's thread (directly when that is the calling thread) and
// returns true once it has run. False when the window is gone or is not one
// of ours, or when the task threw.
bool RunOnWindowThread(HWND hwnd, const std::function<void()>& task);

// The same for a task with a result: nullopt when it could not run.
template <class F, class R = std::invoke_result_t<F&>>
std::optional<R> CallOnWindowThread(HWND hwnd, F&& f) {
    std::optional<R> result;
    RunOnWindowThread(hwnd, [&] { result.emplace(f()); });
    return result;
}

// For the window procedures of CWnd and CDialogEx: runs the task a
// kMsgUiTask carries and returns what the sender reads.
LRESULT RunUiTaskMessage(LPARAM lp);
