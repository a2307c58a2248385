#include "cli/Job.h"

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
    default:
        return FALSE;
    }
}

struct WorkerData {
    const isp::TarvelDll* library;
    Operation operation;
    isp::IspParam* param;
    std::uint16_t code = 0;
    double started = 0, ended = 0;
};

DWORD WINAPI Worker(void* context) {
    auto* data = static_cast<WorkerData*>(context);
    data->started = Now();
    data->code = data->operation == Operation::Update ? data->library->UpdateMCU(data->param)
                                                      : data->library->DumpInfo(data->param);
    data->ended = Now();
    return 0;
}

// How often the main thread looks at the status word: often enough for a
// smooth bar, rarely enough to cost nothing next to the transfer.
constexpr DWORD kPollMs = 25;

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

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency;
}

JobResult RunJob(const isp::TarvelDll& library, Operation operation, isp::IspParam* param,
                 ProgressDisplay& display, const std::function<bool()>& portLost) {
    JobResult result;
    param->StatusCell->store(isp::kStatusWaitingForTarget);
    param->StopCell->store(0);
    WorkerData data{&library, operation, param};
    display.Start();
    const double started = Now();
    UniqueHandle thread(::CreateThread(nullptr, 0, Worker, &data, 0, nullptr));
    if (!thread) {
        result.threadFailed = true;
        return result;
    }
    bool waited = false;
    for (unsigned turn = 1;; ++turn) {
        const DWORD w = ::WaitForSingleObject(thread.get(), kPollMs);
        const std::uint16_t status = param->StatusCell->load();
        if (!waited && status != isp::kStatusWaitingForTarget) {
            waited = true;
            result.waitSeconds = Now() - started;
        }
        if (w == WAIT_OBJECT_0) break;
        if (w != WAIT_TIMEOUT) {
            // The handle cannot be waited on with a timeout: the worker's data
            // must outlive it, so wait for it without one.
            ::WaitForSingleObject(thread.get(), INFINITE);
            break;
        }
        if (StopRequested() && param->StopCell->load() == 0) {
            param->StopCell->store(1);
            display.Clear();
            if (!g_quietStop) Err().Line("Ctrl+C: asking the library to stop (Ctrl+C again quits at once)");
        }
        if (portLost && !result.portLost && turn % 10 == 0 && portLost()) {
            result.portLost = true;
            param->StopCell->store(1);
        }
        display.Show(status);
    }
    result.code = data.code;
    result.librarySeconds = data.ended - data.started;
    if (!waited) result.waitSeconds = result.librarySeconds;
    display.Clear();
    return result;
}

}  // namespace cli
