// The programming jobs: "Update Target" (one run), "Repeat Update" (runs for
// as long as each passes, the next target seated in between) and "Dump Info"
// (one read-back of the information block).
//
// Three threads take part. The UI thread starts a job and returns at once.
// The job thread drives the window through JobHost (each call carried to the
// UI thread) and watches the runs. One worker thread per run is the only
// thread inside the library (isp/LibraryCall.h).
#pragma once

#include "framework/Handles.h"
#include "isp/IspRecords.h"
#include "isp/JobHost.h"
#include "isp/LibraryBinding.h"
#include "isp/LibraryCall.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace isp {

class JobRunner {
public:
    JobRunner(const TarvelDll& library, IspParam& param, JobHost& host);
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
    class RunDisplay;

    void JobMain();
    void UpdateJob();
    void DumpJob();
    // One library call, with the prompt blinking while the library waits
    // for a target and (followProgress) the bar following its progress.
    CallResult RunOnce(Operation operation, bool followProgress);
    // The re-power prompt and the progress bar, on the window's thread.
    void ShowPrompt(bool shown);
    void ShowBar(int pos);
    // Runs f on the window's thread; the job goes on when the window is gone.
    template <class F>
    void OnUi(F&& f);

    IspParam& m_param;
    JobHost& m_host;
    LibraryCall m_call;
    std::atomic<HWND> m_hwnd{nullptr};
    JobType m_type = JobType::Update;
    std::atomic<bool> m_busy{false};
    std::thread m_job;
    UniqueHandle m_jobEnded;  // manual-reset event, set by the job thread as it ends

    std::vector<std::uint8_t> m_code;
    std::vector<std::uint8_t> m_data;
};

}  // namespace isp
