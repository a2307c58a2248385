// Ctrl+C and the console's close: how the console programmer is asked to
// stop, and how it holds a closing console until its records are written.
#pragma once

#include <windows.h>

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

}  // namespace cli
