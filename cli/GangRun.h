// What a run of boards does, on one port or a gang of them, told only by
// what the ports' drivers report (cli/BoardDriver.h): which port starts the
// next board and with which serial number, what each port's row of the table
// says, and how the run ends. Window-free; the loop that drives it is
// cli/BoardLoop.h.
//
// --repeat N counts the boards started over all ports. A failed board
// ends its own port (unless --keep-going) and, with --stop-on-fail, the run
// on every port. A worker that dies during a board loses that board's
// serial number for good.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/SerialBook.h"

namespace cli {

enum class PortState { Starting, Idle, Waiting, Programming, Passed, Failed, Stopped, Lost };

struct GangPort {
    std::string name;
    PortState state = PortState::Starting;
    unsigned percent = 0;     // while Programming
    bool ready = false;       // the worker has its port open
    bool busy = false;        // a board was handed out and its result has not come back
    bool retired = false;     // no further board starts on this port
    std::uint64_t board = 0;  // the running (or last) board, counted over the gang
    bool hasSerial = false;
    SerialValue serial;  // the running (or last) board's serial
    std::uint64_t passed = 0, failed = 0;
    std::string lastSerial;  // of the last board that passed; empty for none
    bool noSerial = false;   // its last turn found no serial number to take
};

struct GangSettings {
    std::uint64_t repeat = 1;
    bool forever = false;
    bool keepGoing = false;
    bool stopOnFail = false;
};

class GangRun {
public:
    // book: where serial numbers come from (nullptr: the boards get none).
    GangRun(const std::vector<std::string>& names, const GangSettings& settings, SerialSource* book);

    const std::vector<GangPort>& Ports() const { return ports_; }

    // The worker of port i has opened its port.
    void Ready(std::size_t i);
    // The library's status word on port i.
    void Status(std::size_t i, std::uint16_t word);

    enum class Next { None, Board, SerialsUsedUp, JournalFailed, NoSerial };
    // Whether port i starts a board now. For Board, Ports()[i] holds the
    // board and its serial (taken from the book, journaled). SerialsUsedUp
    // and JournalFailed halt the gang; *why says more for JournalFailed.
    // NoSerial: no number can be had now (*why); the port starts no board
    // and asks again on its next turn.
    Next Start(std::size_t i, std::string* why);

    struct Ended {
        bool halted = false;         // --stop-on-fail: this board ended the run on every port
        bool journalFailed = false;  // the serial's fate could not be written (*why)
    };
    // Port i's board ended with the library's code; portLost: its port went
    // away (the worker ends after this).
    Ended Result(std::size_t i, std::uint16_t code, bool portLost, std::string* why);

    // Port i's worker process ended with exitCode. True when it had a board
    // running: that board counts as failed and its serial is never given
    // again (*why when the journal could not say so).
    bool WorkerEnded(std::size_t i, int exitCode, std::string* why);

    // Port i, lost and its worker gone, is taken again by a new worker: it
    // opens its port and then starts boards as before. False when the port
    // is not such a port or the run is halted.
    bool Revive(std::size_t i);

    // No further board starts on any port (Ctrl+C, a log that cannot be
    // written, --stop-on-fail).
    void Halt() { halted_ = true; }
    bool Halted() const { return halted_; }
    void FileFailed() {
        fileFailed_ = true;
        halted_ = true;
    }

    // Nothing runs and nothing will start: the summary can be written.
    bool Done() const;

    std::uint64_t Boards() const { return boards_; }
    std::uint64_t PassedBoards() const { return passed_; }
    std::uint64_t FailedBoards() const { return failed_; }
    bool Stopped() const { return stopped_; }
    bool SerialsUsedUp() const { return usedUp_; }

    // As a single port's run: a file error, a port that could not be opened
    // (its worker's own code), a failed or lost board, serials used up,
    // stopped, all passed, in that order.
    int ExitCode() const;

private:
    bool BoardsLeft() const { return settings_.forever || started_ < settings_.repeat; }

    std::vector<GangPort> ports_;
    GangSettings settings_;
    SerialSource* book_;
    std::uint64_t started_ = 0, boards_ = 0, passed_ = 0, failed_ = 0;
    bool halted_ = false, stopped_ = false, usedUp_ = false, fileFailed_ = false, lost_ = false;
    int startFailure_ = 0;  // exit code of the first worker that ended before it was ready
};

// "waiting for a board", "programming 45%", "passed", ... ("idle": the port
// is open and has had no board yet; "not opened": its worker ended before it
// had the port open).
std::string StateText(const GangPort& port);

// The console table: a header, one row per port, and a total line with the
// passed boards per hour over `seconds`.
std::vector<std::string> GangTable(const GangRun& run, double seconds);

}  // namespace cli
