// The programming jobs: "Update Target" (one run), "Repeat Update" (runs for
// as long as each passes, the next target seated in between) and "Dump Info"
// (one read-back of the information block).
//
// Three threads take part. The UI thread starts a job and returns at once.
// The job thread drives the window through JobHost and writes the window's
// MessageLog (each call carried to the UI thread) and waits. One worker thread per run is the only thread inside
// the library. The library talks back through the record's two atomic cells:
// the status word (0xFFFF waiting for a target, 0..100 progress) and the stop
// request.
#pragma once

#include "framework/Handles.h"
#include "isp/IspRecords.h"
#include "isp/JobHost.h"
#include "isp/TarvelDll.h"
#include "log/MessageLog.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace isp {

class JobRunner {
public:
    JobRunner(const TarvelDll& library, IspParam& param, JobHost& host, MessageLog& log);
    ~JobRunner();  // calls StopAndWait
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // UI thread. Starts a job for the window hwnd with the rates already in
    // the record. False when a job is running, or when its thread could not
    // be started (the job then ends at once through LeaveJob with a log line).
    bool Start(JobType type, HWND hwnd);
    // UI thread: asks the library to stop the running run (it answers 103).
    void RequestStop();
    bool Busy() const { return m_busy.load(); }
    // UI thread, for a window that is going away under a running job: asks
    // for a stop and waits for the job to end, still answering the calls the
    // job sends to the window meanwhile. Nothing else on the UI thread waits.
    void StopAndWait();
    JobType Running() const { return m_type; }

private:
    void JobMain();
    void UpdateJob();
    void DumpJob();
    // Runs one library call on a worker thread; false if it could not start.
    bool StartRun(bool dump);
    void FinishRun();
    // Blinks the prompt while waiting for a target and follows the progress
    // otherwise, until the worker ends.
    void WaitForRun(bool followProgress);
    void BlinkOnce();
    // A COM port is looked at every few hundred milliseconds while the
    // library works; one that is gone (an adapter pulled out) ends the run
    // at once through the stop request instead of the library's deadlines.
    // atOnce looks now, whenever the last look was.
    void WatchPort(bool atOnce = false);
    // Runs f on the window's thread; the job goes on when the window is gone.
    template <class F>
    void OnUi(F&& f);

    const TarvelDll& m_library;
    IspParam& m_param;
    JobHost& m_host;
    MessageLog& m_log;
    std::atomic<HWND> m_hwnd{nullptr};
    JobType m_type = JobType::Update;
    std::atomic<bool> m_busy{false};
    std::thread m_job;

    // One run.
    std::thread m_worker;
    std::atomic<std::int32_t> m_workerBusy{0};
    std::atomic<std::uint16_t> m_workerResult{0};
    bool m_portLost = false;          // job thread only
    DWORD m_portCheckedAt = 0;        // job thread only
    UniqueHandle m_runEnded;  // manual-reset event, set by the worker as it ends
    UniqueHandle m_jobEnded;  // manual-reset event, set by the job thread as it ends

    std::vector<std::uint8_t> m_code;
    std::vector<std::uint8_t> m_data;
};

}  // namespace isp
