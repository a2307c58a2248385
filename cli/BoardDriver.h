// How a run of boards reaches one port: a driver starts a board with its
// serial number, reports what happens on it, and stops it when asked. One
// driver runs the library in this process (cli/LocalBoard.h); the other runs
// it in a worker process of its own (cli/WorkerProcess.h), one per port of a
// gang. The run's rules (cli/GangRun.h) and its loop (cli/BoardLoop.h) are
// the same for both. Window-free.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/SerialBook.h"

namespace cli {

// One board as the library ran it.
struct BoardOutcome {
    std::uint16_t code = 0;
    double seconds = 0;         // the whole board
    double librarySeconds = 0;  // inside UpdateMCU
    double waitSeconds = 0;     // of that, while the library waited for a target
    bool portLost = false;      // the port went away: no further board starts on it
    bool noThread = false;      // the library call could not be started
    // The worker process's CPU seconds and peak memory so far (worker
    // processes only; negative CPU seconds: not known).
    double cpuSeconds = -1;
    std::uint64_t peakBytes = 0;
};

struct DriverEvent {
    enum class Kind {
        Ready,    // the port is open: boards may start
        Status,   // the library's status word changed (word)
        Outcome,  // the running board ended (outcome)
        Ended,    // the driver's worker process ended (exitCode)
    };
    Kind kind = Kind::Status;
    std::uint16_t word = 0;
    BoardOutcome outcome;
    int exitCode = 0;
};

class BoardDriver {
public:
    virtual ~BoardDriver() = default;

    // Starts board n (counted over the run) with this serial number written
    // into its copy of the image (nullptr: none).
    virtual void StartBoard(std::uint64_t board, const SerialValue* serial) = 0;
    // Asks the running board to stop; it ends with the library's Stop.
    virtual void StopBoard() = 0;
    // Appends what happened since the last call, in order; never waits.
    virtual void Poll(std::vector<DriverEvent>* events) = 0;
    // No further board will start: the driver ends, waiting up to waitMs for
    // a worker process to go. Poll still gives what arrived meanwhile.
    virtual void Finish(unsigned waitMs) = 0;
};

}  // namespace cli
