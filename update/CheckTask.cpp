#include "update/CheckTask.h"

#include "framework/UiTask.h"

#include <system_error>
#include <utility>

namespace update {

bool CheckTask::Start(HWND window, FetchRequest request, Done done) {
    Stop();
    if (!m_cancel.valid() || !m_finished.valid()) return false;
    ::ResetEvent(m_cancel.get());
    ::ResetEvent(m_finished.get());
    m_stopped = false;
    m_done = std::move(done);
    try {
        m_thread = std::thread([this, window, request = std::move(request)] { Run(window, request); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CheckTask::Run(HWND window, const FetchRequest& request) {
    const FetchResult result = FetchServerInfo(request, m_cancel.get());
    if (!m_stopped) {
        RunOnWindowThread(window, [this, &result] {
            if (!m_stopped && m_done) m_done(result);
        });
    }
    ::SetEvent(m_finished.get());
}

void CheckTask::Stop() {
    if (!m_thread.joinable()) return;
    m_stopped = true;
    ::SetEvent(m_cancel.get());
    // The thread may be inside RunOnWindowThread, waiting for this thread to
    // take the result: answer sent messages (the task sees m_stopped and does
    // nothing) until the thread says it is through.
    HANDLE finished = m_finished.get();
    for (;;) {
        const DWORD w = ::MsgWaitForMultipleObjectsEx(1, &finished, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (w != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    m_thread.join();
    m_done = nullptr;
}

}  // namespace update
