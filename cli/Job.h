// One library call (UpdateMCU or DumpInfo) on a worker thread while the
// main thread watches the status word, and the Ctrl+C request that stops it.
#pragma once

#include <windows.h>

#include <cstdint>

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
// Called by the main thread around library calls, so that a console close
// knows when it may let the process go.
void MarkCallRunning(bool running);

enum class Operation { Update, Dump };

struct JobResult {
    std::uint16_t code = 0;
    double librarySeconds = 0;  // the call itself, on the worker thread
    double waitSeconds = 0;     // until the status word first left "waiting for a target"
    bool threadFailed = false;  // no worker thread could be started
};

// Resets the status word to 0xFFFF and the stop request to 0, runs the
// operation on a new worker thread, and until it returns polls the status
// word (waiting on the thread, never spinning), feeds the display, and
// passes a Ctrl+C on as the stop request.
JobResult RunJob(const isp::TarvelDll& library, Operation operation, isp::IspParam* param,
                 ProgressDisplay& display);

// Seconds of the high-resolution counter.
double Now();

}  // namespace cli
