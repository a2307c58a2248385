#include "framework/UiTask.h"

namespace {
// What a window answers once a task has run. A window that is gone, or one
// that does not know the message, answers 0.
constexpr LRESULT kTaskDone = 0x7A5C;
}  // namespace

bool RunOnWindowThread(HWND hwnd, const std::function<void()>& task) {
    if (!hwnd || !task) return false;
    const LRESULT r = ::SendMessageW(hwnd, kMsgUiTask, 0, reinterpret_cast<LPARAM>(&task));
    return r == kTaskDone;
}

LRESULT RunUiTaskMessage(LPARAM lp) {
    const auto* task = reinterpret_cast<const std::function<void()>*>(lp);
    if (!task) return 0;
    try {
        (*task)();
    } catch (...) {
        ::OutputDebugStringW(L"Tarvel: exception in a task run for another thread\n");
        return 0;
    }
    return kTaskDone;
}
