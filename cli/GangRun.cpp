#include "cli/GangRun.h"

#include <algorithm>

#include "cli/ExitCodes.h"
#include "cli/Progress.h"
#include "cli/Records.h"
#include "cli/Text.h"
#include "isp/IspRecords.h"

namespace cli {

GangRun::GangRun(const std::vector<std::string>& names, const GangSettings& settings, SerialSource* book)
    : settings_(settings), book_(book) {
    for (const std::string& name : names) {
        GangPort p;
        p.name = name;
        ports_.push_back(p);
    }
}

void GangRun::Ready(std::size_t i) {
    GangPort& p = ports_[i];
    if (p.ready || p.retired) return;
    p.ready = true;
    p.state = PortState::Idle;
}

void GangRun::Status(std::size_t i, std::uint16_t word) {
    GangPort& p = ports_[i];
    if (!p.busy) return;
    // The last board's outcome stays on the row while the library waits for
    // the next target: the operator sees it while swapping the board.
    if (PhaseOf(word) == Phase::Working) {
        p.state = PortState::Programming;
        p.percent = word;
    }
}

GangRun::Next GangRun::Start(std::size_t i, std::string* why) {
    GangPort& p = ports_[i];
    if (!p.ready || p.busy || p.retired || halted_ || !BoardsLeft()) return Next::None;
    p.hasSerial = false;
    if (book_ != nullptr) {
        switch (book_->Take(&p.serial, why)) {
        case SerialSource::Taken::Ok: break;
        case SerialSource::Taken::RanOut:
            usedUp_ = true;
            halted_ = true;
            return Next::SerialsUsedUp;
        case SerialSource::Taken::JournalFailed: FileFailed(); return Next::JournalFailed;
        case SerialSource::Taken::Unavailable: p.noSerial = true; return Next::NoSerial;
        }
        p.hasSerial = true;
        p.noSerial = false;
    }
    p.board = ++started_;
    p.busy = true;
    p.percent = 0;
    if (p.state == PortState::Idle || p.state == PortState::Stopped) p.state = PortState::Waiting;
    return Next::Board;
}

GangRun::Ended GangRun::Result(std::size_t i, std::uint16_t code, bool portLost, std::string* why) {
    Ended ended;
    GangPort& p = ports_[i];
    if (!p.busy) return ended;
    p.busy = false;
    ++boards_;
    const bool passed = code == isp::kPass && !portLost;
    if (p.hasSerial && book_ != nullptr) {
        // A passed board keeps its number; any other gives it back.
        const bool kept = passed ? book_->Passed(p.serial, why) : book_->Failed(p.serial, why);
        if (!kept) {
            FileFailed();
            ended.journalFailed = true;
        }
    }
    if (passed) {
        ++p.passed;
        ++passed_;
        p.state = PortState::Passed;
        if (p.hasSerial) p.lastSerial = p.serial.Text();
    } else if (code == isp::kStop && !portLost) {
        // Only a stop the gang asked for: no further board anywhere.
        stopped_ = true;
        halted_ = true;
        p.state = PortState::Stopped;
    } else {
        ++p.failed;
        ++failed_;
        p.state = portLost ? PortState::Lost : PortState::Failed;
        lost_ = lost_ || portLost;
        if (!settings_.keepGoing || portLost) p.retired = true;
        if (settings_.stopOnFail && !halted_) {
            halted_ = true;
            ended.halted = true;
        }
    }
    return ended;
}

bool GangRun::WorkerEnded(std::size_t i, int exitCode, std::string* why) {
    GangPort& p = ports_[i];
    const bool hadBoard = p.busy, wasRetired = p.retired;
    p.retired = true;
    if (!p.ready) {
        // It never opened its port: its own exit code says why (5 for a port
        // that does not exist or is busy).
        if (startFailure_ == 0) startFailure_ = exitCode == kExitOk ? kExitBoardFailed : exitCode;
        p.state = PortState::Lost;
        return false;
    }
    if (hadBoard) {
        p.busy = false;
        ++boards_;
        ++p.failed;
        ++failed_;
        // Whether the board got its number is unknown: it is never given again.
        if (p.hasSerial && book_ != nullptr && !book_->Lost(p.serial, why)) FileFailed();
    }
    // A worker that ends on its own, not after its port was lost or at the
    // end of the run, is a lost port.
    if (hadBoard || (!wasRetired && !halted_ && BoardsLeft())) {
        p.state = PortState::Lost;
        lost_ = true;
    }
    return hadBoard;
}

bool GangRun::Revive(std::size_t i) {
    GangPort& p = ports_[i];
    if (halted_ || p.busy || !p.retired || p.state != PortState::Lost) return false;
    p.ready = false;
    p.retired = false;
    p.state = PortState::Starting;
    return true;
}

bool GangRun::Done() const {
    for (const GangPort& p : ports_) {
        if (p.busy) return false;
        if (!p.retired && !halted_ && BoardsLeft()) return false;
    }
    return true;
}

int GangRun::ExitCode() const {
    if (fileFailed_) return kExitFile;
    if (startFailure_ != 0) return startFailure_;
    if (failed_ != 0 || lost_) return kExitBoardFailed;
    if (usedUp_) return kExitSerialsUsedUp;
    if (stopped_) return kExitStopped;
    return kExitOk;
}

std::string StateText(const GangPort& port) {
    // A port that would start a board but has no number for it.
    if (port.noSerial && !port.busy && !port.retired) return "no serial number";
    switch (port.state) {
    case PortState::Starting: return "opening the port";
    case PortState::Idle: return "idle";
    case PortState::Waiting: return "waiting for a board";
    case PortState::Programming: return "programming " + std::to_string(port.percent) + "%";
    case PortState::Passed: return "passed";
    case PortState::Failed: return "failed";
    case PortState::Stopped: return "stopped";
    // A worker that ended before it had its port open never had a board:
    // the port was never opened rather than lost.
    case PortState::Lost: return port.ready ? "lost" : "not opened";
    }
    return "";
}

namespace {

std::string Cell(std::string text, std::size_t width, bool right = false) {
    if (text.size() >= width) return text + " ";
    const std::string pad(width - text.size(), ' ');
    return right ? pad + text + " " : text + pad + " ";
}

}  // namespace

std::vector<std::string> GangTable(const GangRun& run, double seconds) {
    std::size_t nameWidth = 5;
    for (const GangPort& p : run.Ports()) nameWidth = std::max(nameWidth, p.name.size());
    std::vector<std::string> lines;
    lines.push_back(Cell("port", nameWidth) + Cell("state", 20) + Cell("passed", 7, true) + Cell("failed", 7, true) +
                    "last serial");
    for (const GangPort& p : run.Ports())
        lines.push_back(Cell(p.name, nameWidth) + Cell(StateText(p), 20) + Cell(std::to_string(p.passed), 7, true) +
                        Cell(std::to_string(p.failed), 7, true) + (p.lastSerial.empty() ? "-" : p.lastSerial));
    lines.push_back(Cell("total", nameWidth) + Cell("", 20) + Cell(std::to_string(run.PassedBoards()), 7, true) +
                    Cell(std::to_string(run.FailedBoards()), 7, true) +
                    Fixed(BoardsPerHour(run.PassedBoards(), seconds), 1) + " boards per hour");
    return lines;
}

}  // namespace cli
