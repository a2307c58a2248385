#include "cli/StopKey.h"

#include <atomic>

#include "framework/Handles.h"

namespace cli {

namespace {

std::atomic<int> g_presses{0};
std::atomic<bool> g_quietStop{false};
// Set while no command holds a CloseGuard; a console close waits for it.
HANDLE g_idle = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // The first press is ours; the second goes to the default handler.
        // A gang's worker shares its parent's console and may hear one
        // press more than once; the parent decides for the gang (a second
        // press ends it, and the job object its workers), so a worker only
        // ever stops its board.
        if (g_quietStop.load()) {
            g_presses.fetch_add(1);
            return TRUE;
        }
        return g_presses.fetch_add(1) == 0 ? TRUE : FALSE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the process when this returns (after five seconds
        // at the latest): give the library time to answer the stop request
        // and the main thread time to write the records.
        g_presses.fetch_add(1);
        if (g_idle != nullptr) ::WaitForSingleObject(g_idle, 4500);
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

void InstallStopHandler() {
    // The event lives as long as the process: the handler may run on the
    // system's thread until the very end.
    g_idle = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    // A parent that started us in a new process group (or with Ctrl+C
    // ignored) passes that on; a programmer must always be stoppable.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() { return g_presses.load() != 0; }

void QuietStopNotice() { g_quietStop = true; }

void RequestStop() {
    int none = 0;
    g_presses.compare_exchange_strong(none, 1);
}

CloseGuard::CloseGuard() {
    if (g_idle != nullptr) ::ResetEvent(g_idle);
}

CloseGuard::~CloseGuard() {
    if (g_idle != nullptr) ::SetEvent(g_idle);
}

}  // namespace cli
