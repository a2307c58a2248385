#include "isp/Jobs.h"

#include "framework/UiTask.h"
#include "isp/Outcome.h"
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

int HeadingOf(JobType type) {
    return type == JobType::Dump     ? texts::kDumpInfo
           : type == JobType::Repeat ? texts::kRepeatUpdate
                                     : texts::kUpdateTarget;
}

}  // namespace

// The window's side of one run: the re-power prompt blinks while the library
// waits for a target, and the progress bar follows it while it programs.
class JobRunner::RunDisplay final : public CallObserver {
public:
    RunDisplay(JobRunner& job, bool followProgress) : m_job(job), m_followProgress(followProgress) {}

    DWORD OnStatus(std::uint16_t status) override {
        if (!m_followProgress || status == kStatusWaitingForTarget) {
            HideProgress();
            m_promptShown = !m_promptShown;
            Prompt(m_promptShown);
            return m_promptShown ? kPromptShownMs : kPromptHiddenMs;
        }
        if (m_promptShown) {
            m_promptShown = false;
            Prompt(false);
        }
        if (status <= 100) {
            if (!m_progressShown) {
                m_progressShown = true;
                Progress(0);
            }
            Progress(status);
        } else {
            // A value the library gives no meaning to: wait for it to change.
            HideProgress();
        }
        return kProgressPollMs;
    }

    // The run has ended: neither the prompt nor the bar stays.
    void End() {
        if (m_promptShown) Prompt(false);
        m_promptShown = false;
        HideProgress();
    }

private:
    void Prompt(bool shown) { m_job.ShowPrompt(shown); }
    void Progress(int pos) { m_job.ShowBar(pos); }
    void HideProgress() {
        if (!m_progressShown) return;
        m_progressShown = false;
        Progress(-1);
    }

    JobRunner& m_job;
    const bool m_followProgress;
    bool m_promptShown = false;
    bool m_progressShown = false;
};

JobRunner::JobRunner(const TarvelDll& library, IspParam& param, JobHost& host)
    : m_param(param), m_host(host), m_call(library, param), m_jobEnded(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

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
    // The stop request is cleared once per job, not per run: a Stop clicked
    // between two boards of a repeat job must end it, and the library
    // answers a set request at once with 103.
    m_param.StopCell->store(0);
    ::ResetEvent(m_jobEnded.get());
    try {
        m_job = std::thread(&JobRunner::JobMain, this);
    } catch (const std::system_error&) {
        m_busy = false;
        ::SetEvent(m_jobEnded.get());
        // Every call on the window goes the one way, here on its own thread.
        OnUi([&] {
            m_host.LogHeading(HeadingOf(type));
            m_host.LogResult(texts::kFail, ::GetTickCount());
        });
        return false;
    }
    return true;
}

void JobRunner::RequestStop() { m_param.StopCell->store(1); }

void JobRunner::ShowPrompt(bool shown) {
    OnUi([&] { m_host.ShowRepowerPrompt(shown); });
}

void JobRunner::ShowBar(int pos) {
    OnUi([&] { m_host.ShowProgress(pos); });
}

void JobRunner::JobMain() {
    if (m_type == JobType::Dump) DumpJob();
    else UpdateJob();
    const JobType type = m_type;
    // The last call: the window takes its controls back and learns, in the
    // same step, that no job runs any more.
    bool left = false;
    OnUi([&] {
        m_busy = false;
        m_host.ShowRepowerPrompt(false);
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

CallResult JobRunner::RunOnce(Operation operation, bool followProgress) {
    RunDisplay display(*this, followProgress);
    const CallResult result = m_call.Run(operation, display);
    display.End();
    return result;
}

void JobRunner::UpdateJob() {
    const bool repeat = m_type == JobType::Repeat;
    DWORD start = ::GetTickCount();
    OnUi([&] {
        if (repeat) m_host.ClearLog();
        m_host.LogHeading(HeadingOf(m_type));
        m_host.CopyBuffers(m_code, m_data);
        m_host.EnterJob(m_type);
    });
    m_param.CodeImage = m_code.empty() ? nullptr : m_code.data();
    m_param.CodeSize = static_cast<std::int32_t>(m_code.size());
    m_param.DataImage = m_data.empty() ? nullptr : m_data.data();
    m_param.DataSize = static_cast<std::int32_t>(m_data.size());

    for (;;) {
        const CallResult run = RunOnce(Operation::Update, true);
        if (run.threadFailed) {
            OnUi([&] { m_host.LogResult(texts::kFail, start); });
            break;
        }
        // A board cut short because its port went away failed; it was not
        // stopped by the user.
        const int text = run.portLost && run.code != kPass ? texts::kFail : OutcomeTextId(JobKind::Update, run.code);
        OnUi([&] { m_host.LogResult(text, start); });
        if (!repeat || run.code != kPass || run.portLost) break;
        start = ::GetTickCount();
        OnUi([&] { m_host.LogRepeatHeading(texts::kRepeatUpdate); });
    }
    m_param.CodeImage = nullptr;
    m_param.DataImage = nullptr;
}

void JobRunner::DumpJob() {
    const DWORD start = ::GetTickCount();
    OnUi([&] {
        m_host.LogHeading(texts::kDumpInfo);
        m_host.EnterJob(JobType::Dump);
    });
    m_code.assign(kInfoBlockSize, 0);
    m_param.CodeImage = m_code.data();
    m_param.CodeSize = static_cast<std::int32_t>(m_code.size());

    const CallResult run = RunOnce(Operation::Dump, false);
    if (run.threadFailed) {
        OnUi([&] { m_host.LogResult(texts::kFail, start); });
    } else {
        const int text = run.portLost && run.code != kPass ? texts::kFail : OutcomeTextId(JobKind::Dump, run.code);
        OnUi([&] {
            if (run.code == kPass) m_host.ShowReadBack(m_code.data(), m_code.size());
            m_host.LogResult(text, start);
        });
    }
    m_param.CodeImage = nullptr;
}

}  // namespace isp
