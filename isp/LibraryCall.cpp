#include "isp/LibraryCall.h"

#include <system_error>

#include "isp/PortLink.h"

namespace isp {
namespace {

// How often a COM port is looked at during a call.
constexpr DWORD kPortCheckMs = 250;

}  // namespace

double SecondsNow() {
    static const double frequency = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency;
}

LibraryCall::LibraryCall(const TarvelDll& library, IspParam& param)
    : m_library(library), m_param(param), m_ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

LibraryCall::~LibraryCall() {
    if (m_worker.joinable()) m_worker.join();
}

void LibraryCall::WatchPort(bool atOnce) {
    if (m_portLost || m_param.PortType != kPortCom) return;
    const DWORD now = ::GetTickCount();
    if (!atOnce && now - m_portCheckedAt < kPortCheckMs) return;
    m_portCheckedAt = now;
    if (!ComPortLost(static_cast<HANDLE>(m_param.PortHandle))) return;
    m_portLost = true;
    m_param.StopCell->store(1);
}

bool LibraryCall::Start(Operation operation) {
    if (m_worker.joinable()) m_worker.join();
    m_portLost = false;
    m_portCheckedAt = ::GetTickCount();
    m_waited = false;
    m_waitSeconds = 0;
    m_threadFailed = false;
    m_code = 0;
    m_done = false;
    m_param.StatusCell->store(kStatusWaitingForTarget);
    ::ResetEvent(m_ended.get());
    m_asked = SecondsNow();
    try {
        m_worker = std::thread([this, operation] {
            m_started = SecondsNow();
            m_code = operation == Operation::Dump ? m_library.DumpInfo(&m_param) : m_library.UpdateMCU(&m_param);
            m_returned = SecondsNow();
            m_done = true;
            ::SetEvent(m_ended.get());
        });
    } catch (const std::system_error&) {
        m_threadFailed = true;
        m_done = true;
        return false;
    }
    return true;
}

bool LibraryCall::Check() {
    if (m_done.load()) return true;
    WatchPort(false);
    if (!m_waited && m_param.StatusCell->load() != kStatusWaitingForTarget) {
        m_waited = true;
        m_waitSeconds = SecondsNow() - m_asked;
    }
    return m_done.load();
}

CallResult LibraryCall::Finish() {
    CallResult result;
    if (m_threadFailed) {
        result.threadFailed = true;
        return result;
    }
    if (m_worker.joinable()) m_worker.join();
    result.code = m_code.load();
    result.librarySeconds = m_returned - m_started;
    result.waitSeconds = m_waited ? m_waitSeconds : result.librarySeconds;
    if (result.code != kPass) WatchPort(true);
    result.portLost = m_portLost;
    return result;
}

CallResult LibraryCall::Run(Operation operation, CallObserver& observer) {
    if (Start(operation)) {
        while (!Check()) {
            const DWORD pause = observer.OnStatus(m_param.StatusCell->load());
            // Without the event (it could not be created) the wait is a sleep.
            if (::WaitForSingleObject(m_ended.get(), pause) == WAIT_FAILED) ::Sleep(pause);
        }
    }
    return Finish();
}

}  // namespace isp
