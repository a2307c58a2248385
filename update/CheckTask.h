// One version check on a thread of its own, for a window: the fetch runs off
// the window's thread and its result is handed to the window's thread through
// RunOnWindowThread. The object owns the thread and joins it; Stop (or the
// destructor) cancels a running check first, so the owner never waits longer
// than the fetch needs to notice.
#pragma once

#include "framework/Handles.h"
#include "update/VersionFetch.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

namespace update {

class CheckTask {
public:
    using Done = std::function<void(const FetchResult&)>;

    CheckTask() = default;
    ~CheckTask() { Stop(); }
    CheckTask(const CheckTask&) = delete;
    CheckTask& operator=(const CheckTask&) = delete;

    // Starts a check (after stopping one still running). `done` runs later on
    // window's thread, unless Stop comes first or the window is gone. Call
    // from window's thread, never from inside `done`. False when no thread
    // could be started.
    bool Start(HWND window, FetchRequest request, Done done);
    // Cancels a running check and waits for its thread. Call from the
    // window's thread: while it waits it still answers messages sent to that
    // thread, since the check may be handing over its result at that moment
    // (the handed-over result is then dropped).
    void Stop();

private:
    void Run(HWND window, const FetchRequest& request);

    UniqueHandle m_cancel{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle m_finished{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> m_stopped{false};
    Done m_done;
    std::thread m_thread;
};

}  // namespace update
