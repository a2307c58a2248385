// One library call (UpdateMCU or DumpInfo) on a worker thread while the
// main thread watches the status word, and the Ctrl+C request that stops it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "cli/Console.h"
#include "isp/IspRecords.h"
#include "isp/TarvelDll.h"

namespace cli {

// Ctrl+C, Ctrl+Break and closing the console window. The first press asks
// the running call to stop (the library answers Stop) and no further board
// starts; a second press falls through to the system's handler, which ends
// the process at once. On a console close the handler holds the process
// until the running call has ended or about four seconds have passed.
void InstallStopHandler();
bool StopRequested();
// A gang's worker is asked to stop by its parent, as a first Ctrl+C would.
void RequestStop();
// A gang's worker leaves telling about Ctrl+C to its parent (one line for
// the gang rather than one per port), and leaves ending the gang at a second
// press to it too: in the worker every press only stops the board.
void QuietStopNotice();
// Held by a command while it talks to the library and writes its records: a
// console close waits (a few seconds at most) until the holder is gone, so
// that the running board ends with Stop and its record and the summary
// reach the output and the log.
class CloseGuard {
public:
    CloseGuard();
    ~CloseGuard();
    CloseGuard(const CloseGuard&) = delete;
    CloseGuard& operator=(const CloseGuard&) = delete;
};

enum class Operation { Update, Dump };

struct JobResult {
    std::uint16_t code = 0;
    double librarySeconds = 0;  // the call itself, on the worker thread
    double waitSeconds = 0;     // until the status word first left "waiting for a target"
    bool threadFailed = false;  // no worker thread could be started
    bool portLost = false;      // portLost said so during the run, and the library was asked to stop
};

// Resets the status word to 0xFFFF and the stop request to 0, runs the
// operation on a new worker thread, and until it returns polls the status
// word (waiting on the thread, never spinning), feeds the display, and
// passes a Ctrl+C on as the stop request. portLost, when given, is asked
// every quarter second; once it answers true the library is asked to stop,
// since nothing it sends reaches a target any more.
JobResult RunJob(const isp::TarvelDll& library, Operation operation, isp::IspParam* param,
                 ProgressDisplay& display, const std::function<bool()>& portLost = nullptr);

// Seconds of the high-resolution counter.
double Now();

}  // namespace cli
