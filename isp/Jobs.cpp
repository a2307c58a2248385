#include "isp/Jobs.h"

#include "framework/UiTask.h"
#include "isp/Outcome.h"
#include "isp/PortLink.h"
#include "text/UiText.h"

#include <system_error>

namespace isp {
namespace {

// The prompt blinks 300 ms shown, 200 ms away; progress is followed every
// 10 ms. Every wait ends early when the run ends, so a Stop shows at once.
constexpr DWORD kPromptShownMs = 300;
constexpr DWORD kPromptHiddenMs = 200;
constexpr DWORD kProgressPollMs = 10;

constexpr std::size_t kInfoBlockSize = 256;

// How often a COM port is looked at during a run.
constexpr DWORD kPortCheckMs = 250;

}  // namespace

JobRunner::JobRunner(const TarvelDll& library, IspParam& param, JobHost& host, MessageLog& log)
    : m_library(library),
      m_param(param),
      m_host(host),
      m_log(log),
      m_runEnded(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_jobEnded(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

JobRunner::~JobRunner() { StopAndWait(); }

void JobRunner::StopAndWait() {
    if (m_busy.load()) {
        RequestStop();
        // A call the job has already sent is answered (the window still
        // exists); later calls find no window and are skipped.
        m_hwnd = nullptr;
        while (::MsgWaitForMultipleObjects(1, m_jobEnded.ptr(), FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    if (m_job.joinable()) m_job.join();
}

template <class F>
void JobRunner::OnUi(F&& f) {
    RunOnWindowThread(m_hwnd.load(), std::forward<F>(f));
}

bool JobRunner::Start(JobType type, HWND hwnd) {
    if (m_busy.load()) return false;
    // The previous job has left the window already; its thread is ending.
    if (m_job.joinable()) m_job.join();
    m_type = type;
    m_hwnd = hwnd;
    m_busy = true;
    m_param.StopCell->store(0);
    m_portLost = false;
    m_portCheckedAt = ::GetTickCount();
    ::ResetEvent(m_jobEnded.get());
    try {
        m_job = std::thread(&JobRunner::JobMain, this);
    } catch (const std::system_error&) {
        m_busy = false;
        ::SetEvent(m_jobEnded.get());
        m_log.LogHeading(type == JobType::Dump     ? texts::kDumpInfo
                         : type == JobType::Repeat ? texts::kRepeatUpdate
                                                   : texts::kUpdateTarget);
        m_log.LogResult(texts::kFail, ::GetTickCount());
        return false;
    }
    return true;
}

void JobRunner::RequestStop() { m_param.StopCell->store(1); }

void JobRunner::JobMain() {
    if (m_type == JobType::Dump) DumpJob();
    else UpdateJob();
    const JobType type = m_type;
    // The last call: the window takes its controls back and learns, in the
    // same step, that no job runs any more.
    bool left = false;
    OnUi([&] {
        m_busy = false;
        m_log.ShowRepowerPrompt(false);
        m_host.LeaveJob(type);
        left = true;
    });
    if (!left) m_busy = false;
    m_code.clear();
    m_code.shrink_to_fit();
    m_data.clear();
    m_data.shrink_to_fit();
    ::SetEvent(m_jobEnded.get());
}

bool JobRunner::StartRun(bool dump) {
    // The stop request is cleared once per job, not per run: a Stop clicked
    // between two boards of a repeat job must end it, and the library
    // answers a set request at once with 103.
    m_param.StatusCell->store(kStatusWaitingForTarget);
    m_workerBusy = 1;
    ::ResetEvent(m_runEnded.get());
    try {
        m_worker = std::thread([this, dump] {
            const std::uint16_t r = dump ? m_library.DumpInfo(&m_param) : m_library.UpdateMCU(&m_param);
            m_workerResult = r;
            m_workerBusy = 0;
            ::SetEvent(m_runEnded.get());
        });
    } catch (const std::system_error&) {
        m_workerBusy = 0;
        return false;
    }
    return true;
}

void JobRunner::FinishRun() {
    if (m_worker.joinable()) m_worker.join();
}

void JobRunner::WatchPort(bool atOnce) {
    if (m_portLost || m_param.PortType != kPortCom) return;
    const DWORD now = ::GetTickCount();
    if (!atOnce && now - m_portCheckedAt < kPortCheckMs) return;
    m_portCheckedAt = now;
    if (!ComPortLost(static_cast<HANDLE>(m_param.PortHandle))) return;
    m_portLost = true;
    m_param.StopCell->store(1);
}

void JobRunner::BlinkOnce() {
    OnUi([&] { m_log.ShowRepowerPrompt(true); });
    ::WaitForSingleObject(m_runEnded.get(), kPromptShownMs);
    WatchPort();
    OnUi([&] { m_log.ShowRepowerPrompt(false); });
    ::WaitForSingleObject(m_runEnded.get(), kPromptHiddenMs);
}

void JobRunner::WaitForRun(bool followProgress) {
    while (m_workerBusy.load()) {
        WatchPort();
        const std::uint16_t status = m_param.StatusCell->load();
        if (!followProgress || status == kStatusWaitingForTarget) {
            BlinkOnce();
        } else if (status <= 100) {
            OnUi([&] { m_host.ShowProgress(0); });
            for (std::uint16_t s = status; s <= 100 && m_workerBusy.load(); s = m_param.StatusCell->load()) {
                OnUi([&] { m_host.ShowProgress(s); });
                ::WaitForSingleObject(m_runEnded.get(), kProgressPollMs);
                WatchPort();
            }
            OnUi([&] { m_host.ShowProgress(-1); });
        } else {
            // A value the library gives no meaning to: wait for it to change.
            ::WaitForSingleObject(m_runEnded.get(), kProgressPollMs);
        }
    }
}

void JobRunner::UpdateJob() {
    const bool repeat = m_type == JobType::Repeat;
    DWORD start = ::GetTickCount();
    OnUi([&] {
        if (repeat) m_log.Clear();
        m_log.LogHeading(repeat ? texts::kRepeatUpdate : texts::kUpdateTarget);
        m_host.CopyBuffers(m_code, m_data);
        m_host.EnterJob(m_type);
    });
    m_param.CodeImage = m_code.empty() ? nullptr : m_code.data();
    m_param.CodeSize = static_cast<std::int32_t>(m_code.size());
    m_param.DataImage = m_data.empty() ? nullptr : m_data.data();
    m_param.DataSize = static_cast<std::int32_t>(m_data.size());

    for (;;) {
        if (!StartRun(false)) {
            OnUi([&] { m_log.LogResult(texts::kFail, start); });
            break;
        }
        WaitForRun(true);
        FinishRun();
        const std::uint16_t result = m_workerResult.load();
        // The library may notice the broken line before the next check
        // does: a failed board is checked against its port at once.
        if (result != kPass) WatchPort(true);
        // A board cut short because its port went away failed; it was not
        // stopped by the user.
        const int text = m_portLost && result != kPass ? texts::kFail : OutcomeTextId(JobKind::Update, result);
        OnUi([&] { m_log.LogResult(text, start); });
        if (!repeat || result != kPass || m_portLost) break;
        start = ::GetTickCount();
        OnUi([&] { m_log.LogRepeatHeading(texts::kRepeatUpdate); });
    }
    m_param.CodeImage = nullptr;
    m_param.DataImage = nullptr;
}

void JobRunner::DumpJob() {
    const DWORD start = ::GetTickCount();
    OnUi([&] {
        m_log.LogHeading(texts::kDumpInfo);
        m_host.EnterJob(JobType::Dump);
    });
    m_code.assign(kInfoBlockSize, 0);
    m_param.CodeImage = m_code.data();
    m_param.CodeSize = static_cast<std::int32_t>(m_code.size());

    if (!StartRun(true)) {
        OnUi([&] { m_log.LogResult(texts::kFail, start); });
    } else {
        WaitForRun(false);
        FinishRun();
        const std::uint16_t result = m_workerResult.load();
        if (result != kPass) WatchPort(true);
        const int text = m_portLost && result != kPass ? texts::kFail : OutcomeTextId(JobKind::Dump, result);
        OnUi([&] {
            if (result == kPass) m_host.ShowReadBack(m_code.data(), m_code.size());
            m_log.LogResult(text, start);
        });
    }
    m_param.CodeImage = nullptr;
}

}  // namespace isp
