#include "isp/LibraryCall.h"

#include "isp/PortLink.h"

#include <system_error>
#include <thread>

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

void LibraryCall::WatchPort(bool atOnce) {
    if (m_portLost || m_param.PortType != kPortCom) return;
    const DWORD now = ::GetTickCount();
    if (!atOnce && now - m_portCheckedAt < kPortCheckMs) return;
    m_portCheckedAt = now;
    if (!ComPortLost(static_cast<HANDLE>(m_param.PortHandle))) return;
    m_portLost = true;
    m_param.StopCell->store(1);
}

CallResult LibraryCall::Run(Operation operation, CallObserver& observer) {
    CallResult result;
    m_portLost = false;
    m_portCheckedAt = ::GetTickCount();
    m_param.StatusCell->store(kStatusWaitingForTarget);
    ::ResetEvent(m_ended.get());

    std::atomic<std::uint16_t> code{0};
    std::atomic<bool> done{false};
    double started = 0, ended = 0;  // written by the worker, read after the join
    std::thread worker;
    const double asked = SecondsNow();
    try {
        worker = std::thread([&] {
            started = SecondsNow();
            code = operation == Operation::Dump ? m_library.DumpInfo(&m_param) : m_library.UpdateMCU(&m_param);
            ended = SecondsNow();
            done = true;
            ::SetEvent(m_ended.get());
        });
    } catch (const std::system_error&) {
        result.threadFailed = true;
        return result;
    }

    bool waited = false;
    for (;;) {
        WatchPort(false);
        const std::uint16_t status = m_param.StatusCell->load();
        if (!waited && status != kStatusWaitingForTarget) {
            waited = true;
            result.waitSeconds = SecondsNow() - asked;
        }
        const DWORD pause = observer.OnStatus(status);
        // Without the event (it could not be created) the wait is a sleep.
        if (::WaitForSingleObject(m_ended.get(), pause) == WAIT_FAILED) ::Sleep(pause);
        if (done.load()) break;
    }
    worker.join();
    result.code = code.load();
    result.librarySeconds = ended - started;
    if (!waited) result.waitSeconds = result.librarySeconds;
    if (result.code != kPass) WatchPort(true);
    result.portLost = m_portLost;
    return result;
}

}  // namespace isp
