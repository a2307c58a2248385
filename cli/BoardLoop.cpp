#include "cli/BoardLoop.h"

#include <windows.h>

#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/Records.h"
#include "cli/StdinLines.h"
#include "cli/StopKey.h"
#include "cli/Text.h"
#include "image/Crc32.h"
#include "isp/IspRecords.h"
#include "isp/LibraryCall.h"
#include "run/Station.h"
#include "run/UnitRecord.h"

namespace cli {
namespace {

// The CRC-32 of the Flash image as a board gets it: with its serial number
// written in, without a copy of the whole image.
std::uint32_t ImageCrc32(const std::vector<std::uint8_t>& code, const SerialField& field, const SerialValue* serial) {
    if (serial == nullptr || static_cast<std::uint64_t>(field.address) + field.width > code.size())
        return image::Crc32(code.data(), code.size());
    SerialField here = field;
    here.address = 0;
    std::uint8_t bytes[8] = {};
    WriteSerialValue(bytes, here, *serial);
    std::uint32_t crc = image::Crc32(code.data(), field.address);
    crc = image::Crc32(bytes, field.width, crc);
    const std::size_t after = field.address + field.width;
    return image::Crc32(code.data() + after, code.size() - after, crc);
}

// How often the loop looks at its ports.
constexpr DWORD kTurnMs = 20;
// How long a worker process may take to end once the run is over.
constexpr unsigned kWorkerEndMs = 5000;

class BoardLoop {
public:
    BoardLoop(const Options& o, const ImageSummary& image, std::vector<std::unique_ptr<BoardDriver>>& drivers,
              GangRun& run, CsvLog& log, CsvLog& units, RunDisplay& display, const RestartPort& restart)
        : o_(o),
          restart_(restart),
          image_(image),
          drivers_(drivers),
          run_(run),
          log_(log),
          units_(units),
          display_(display),
          gang_(drivers.size() > 1),
          status_(drivers.size(), isp::kStatusWaitingForTarget),
          usage_(drivers.size()),
          reasons_(drivers.size()),
          toldStates_(drivers.size()) {}

    int Run() {
        started_ = isp::SecondsNow();
        ended_ = started_;
        bool stopSent = false;
        std::vector<DriverEvent> events;
        while (!run_.Done()) {
            if (o_.control) TakeCommands(&stopSent);
            if (StopRequested() && !stopSent) {
                // Every running board ends "Stop" and reports it.
                StopNotice();
                run_.Halt();
                StopPorts(false);
                stopSent = true;
            }
            for (std::size_t i = 0; i < drivers_.size(); ++i) Serve(i, events);
            if (image_.unitOutbox != nullptr) {
                std::string why;
                image_.unitOutbox->Send(&why);
                TellWaiting();
            }
            TellStates();
            display_.Show(run_, status_, ended_ - started_);
            ::Sleep(kTurnMs);
        }
        for (auto& driver : drivers_) driver->Finish(0);
        for (std::size_t i = 0; i < drivers_.size(); ++i) {
            drivers_[i]->Finish(kWorkerEndMs);
            events.clear();
            drivers_[i]->Poll(&events);
            for (const DriverEvent& e : events)
                if (e.kind != DriverEvent::Kind::Ended) Take(i, e);
        }
        TellStates();
        display_.Clear();
        return Finish();
    }

private:
    struct Usage {
        double cpuSeconds = 0;
        std::uint64_t peakBytes = 0;
    };

    std::wstring PortName(std::size_t i) const { return Widen(run_.Ports()[i].name); }

    // Starts a board on port i when the rules allow it, and takes what its
    // driver reported.
    void Serve(std::size_t i, std::vector<DriverEvent>& events) {
        std::string why;
        switch (run_.Start(i, &why)) {
        case GangRun::Next::None: break;
        case GangRun::Next::Board: {
            const GangPort& p = run_.Ports()[i];
            if (noSerialTold_) {
                noSerialTold_ = false;
                Say(kExitOk, L"serial numbers come from the database again");
            }
            status_[i] = isp::kStatusWaitingForTarget;
            display_.BoardStarted(i);
            drivers_[i]->StartBoard(p.board, p.hasSerial ? &p.serial : nullptr);
            break;
        }
        case GangRun::Next::SerialsUsedUp:
            Say(kExitSerialsUsedUp, o_.serialList.empty()
                                        ? L"serial numbers used up: the next one does not fit " +
                                              std::to_wstring(o_.serialField.width) + L" bytes"
                                        : L"serial numbers used up: no value left in " + o_.serialList);
            break;
        case GangRun::Next::JournalFailed: JournalFailed(why); break;
        case GangRun::Next::NoSerial:
            // Said once per outage; the port asks again on every turn.
            if (!noSerialTold_) {
                noSerialTold_ = true;
                Say(kExitOk, L"no serial number for the next board on " + PortName(i) + L": " + Widen(why) +
                                 L"; no board is programmed until the database gives one");
            }
            break;
        }
        events.clear();
        drivers_[i]->Poll(&events);
        for (const DriverEvent& e : events) Take(i, e);
    }

    void Take(std::size_t i, const DriverEvent& e) {
        switch (e.kind) {
        case DriverEvent::Kind::Ready: run_.Ready(i); break;
        case DriverEvent::Kind::Status:
            status_[i] = e.word;
            run_.Status(i, e.word);
            break;
        case DriverEvent::Kind::Outcome: Outcome(i, e.outcome); break;
        case DriverEvent::Kind::Ended: Ended(i, e.exitCode); break;
        }
    }

    void Outcome(std::size_t i, const BoardOutcome& outcome) {
        if (!run_.Ports()[i].busy) return;
        if (outcome.cpuSeconds >= 0) usage_[i] = Usage{outcome.cpuSeconds, outcome.peakBytes};
        if (outcome.noThread)
            Say(kExitBoardFailed, L"no worker thread could be started: " + SystemMessage(::GetLastError()));
        const GangPort before = run_.Ports()[i];
        const std::uint16_t code = outcome.noThread ? static_cast<std::uint16_t>(isp::kNotFindDevice) : outcome.code;
        std::string why;
        const GangRun::Ended ended = run_.Result(i, code, outcome.portLost, &why);
        BoardRecord record = Record(before);
        record.code = code;
        record.outcome = OutcomeText(isp::JobKind::Update, code);
        record.seconds = outcome.seconds;
        record.librarySeconds = outcome.librarySeconds;
        record.waitSeconds = outcome.waitSeconds;
        Write(record);
        // A board whose port went away failed, whatever the library said.
        WriteUnit(record, outcome.portLost && code != isp::kPass ? "Fail" : OutcomeLabel(code, record.outcome));
        reasons_[i] = outcome.portLost && code != isp::kPass ? "Port lost" : OutcomeLabel(code, record.outcome);
        if (outcome.portLost)
            Say(kExitBoardFailed, PortName(i) + L" was lost during board " + std::to_wstring(before.board) +
                                      L" (adapter unplugged or port closed); no further board is started" +
                                      (gang_ ? L" on it" : L""));
        if (ended.journalFailed) JournalFailed(why);
        if (ended.halted && gang_) {
            Say(kExitBoardFailed, L"board " + std::to_wstring(before.board) + L" on " + PortName(i) +
                                      L" failed: --stop-on-fail ends the run on every port");
            StopPorts(true);
        }
    }

    // Port i's worker process ended.
    void Ended(std::size_t i, int exitCode) {
        const GangPort before = run_.Ports()[i];
        std::string why;
        if (run_.WorkerEnded(i, exitCode, &why)) {
            BoardRecord record = Record(before);
            record.outcome = "worker ended";
            Write(record);
            WriteUnit(record, "Fail");
            Say(kExitBoardFailed, L"the worker of " + PortName(i) + L" ended during board " +
                                      std::to_wstring(before.board) + L"; its serial number is not given again");
            if (!why.empty()) JournalFailed(why);
        } else if (run_.Ports()[i].state == PortState::Lost && before.ready && before.state != PortState::Lost) {
            Say(kExitBoardFailed, L"the worker of " + PortName(i) + L" ended (exit code " + std::to_wstring(exitCode) +
                                      L"); no further board is started on it");
        }
    }

    // The commands of the program that drives the run (--control).
    void TakeCommands(bool* stopSent) {
        StdinLines& in = StdinLines::Instance();
        std::string line;
        bool closed = false;
        while (in.Next(&line, &closed)) {
            if (line == "stop" && !*stopSent) {
                run_.Halt();
                StopPorts(false);
                *stopSent = true;
                controlStopped_ = true;
            } else if (line == "retry" && restart_) {
                for (std::size_t i = 0; i < drivers_.size(); ++i) {
                    if (!run_.Revive(i)) continue;
                    reasons_[i].clear();
                    drivers_[i] = restart_(i);
                }
            } else if (line == "reset-counters") {
                ResetCounters();
            }
        }
    }

    // A record in --units that starts the project's counters again.
    void ResetCounters() {
        if ((!units_.IsOpen() || unitsFailed_) && image_.unitOutbox == nullptr) return;
        run::UnitRecord unit;
        unit.time = run::UnitTimeNow();
        unit.station = image_.station;
        unit.operatorName = image_.operatorName;
        unit.project = image_.project;
        unit.projectSha256 = image_.projectSha256;
        unit.outcome = run::kCountersReset;
        ToDatabase(unit);
        if (!units_.IsOpen() || unitsFailed_) return;
        std::wstring why;
        if (!units_.Append(run::UnitCsvRow(unit, units_.Columns()), &why)) {
            unitsFailed_ = true;
            run_.FileFailed();
            Say(kExitFile,
                L"cannot write the unit records " + o_.units + L": " + why + L"; no further board is started");
        }
    }

    // With --events: one record for every change of a port's state.
    void TellStates() {
        if (!o_.events || !o_.json) return;
        for (std::size_t i = 0; i < drivers_.size(); ++i) {
            const GangPort& p = run_.Ports()[i];
            JsonObject j;
            j["record"] = "port_state";
            j["port"] = p.name;
            j["state"] = StateWord(p);
            j["percent"] = p.state == PortState::Programming ? p.percent : 0u;
            j["board"] = p.board;
            j["serial"] = p.hasSerial ? JsonObject(p.serial.Text()) : JsonObject(nullptr);
            j["reason"] = p.noSerial && !p.busy && !p.retired                          ? JsonObject("No serial number")
                          : p.state == PortState::Failed || p.state == PortState::Lost ? JsonObject(reasons_[i])
                                                                                       : JsonObject(nullptr);
            j["passed"] = p.passed;
            j["failed"] = p.failed;
            const std::string line = JsonLine(j);
            if (line == toldStates_[i]) continue;
            toldStates_[i] = line;
            display_.Clear();
            Out().Line(line);
        }
    }

    static const char* StateWord(const GangPort& p) {
        switch (p.state) {
        case PortState::Starting: return "opening";
        case PortState::Idle: return "ready";
        case PortState::Waiting: return "waiting";
        case PortState::Programming: return "programming";
        case PortState::Passed: return "passed";
        case PortState::Failed: return "failed";
        case PortState::Stopped: return "stopped";
        case PortState::Lost: return p.ready ? "lost" : "not opened";
        }
        return "";
    }

    // Asks the ports to stop their boards: all of them (Ctrl+C), or only
    // those still waiting for a target (a board being programmed finishes).
    void StopPorts(bool waitingOnly) {
        for (std::size_t i = 0; i < drivers_.size(); ++i) {
            const GangPort& p = run_.Ports()[i];
            if (!p.busy) continue;
            if (waitingOnly && p.state == PortState::Programming) continue;
            drivers_[i]->StopBoard();
        }
    }

    void StopNotice() {
        display_.Clear();
        if (gang_) Fail(kExitStopped, L"Ctrl+C: asking every port to stop (Ctrl+C again quits at once)");
        else Err().Line("Ctrl+C: asking the library to stop (Ctrl+C again quits at once)");
    }

    BoardRecord Record(const GangPort& p) const {
        BoardRecord record;
        record.board = p.board;
        if (gang_) record.port = p.name;
        record.unitPort = p.name;
        // With its UTC offset, as the unit record has it.
        record.time = run::UnitTimeNow();
        if (p.hasSerial) {
            record.hasSerial = true;
            record.serial = p.serial.number;
            if (p.serial.isBytes) record.serialText = p.serial.Text();
        }
        record.station = image_.station;
        record.operatorName = image_.operatorName;
        record.project = image_.project;
        record.projectSha256 = image_.projectSha256;
        if (image_.code != nullptr && p.hasSerial && !image_.boardChecksums.empty()) {
            // The board's image as its port programs it: serial, then checksums.
            std::vector<std::uint8_t> code = *image_.code;
            std::vector<image::ChecksumValue> values;
            MakeBoardImage(code, image_.serialField, &p.serial, image_.boardChecksums, image_.codeCapacity, &values);
            record.imageCrc32 = run::Crc32Text(image::Crc32(code.data(), code.size()));
            record.checksums = ChecksumRecordTexts(values);
        } else if (image_.code != nullptr) {
            record.imageCrc32 =
                run::Crc32Text(ImageCrc32(*image_.code, image_.serialField, p.hasSerial ? &p.serial : nullptr));
            record.checksums = image_.checksums;
        }
        return record;
    }

    // The unit's record: one row of --units for every board.
    void WriteUnit(const BoardRecord& record, const std::string& outcome) {
        if ((!units_.IsOpen() || unitsFailed_) && image_.unitOutbox == nullptr) return;
        run::UnitRecord unit;
        unit.time = record.time;
        unit.station = record.station;
        unit.operatorName = record.operatorName;
        unit.project = record.project;
        unit.projectSha256 = record.projectSha256;
        unit.port = record.unitPort;
        unit.serial = record.hasSerial ? SerialText(record) : std::string();
        unit.imageCrc32 = record.imageCrc32;
        unit.outcome = outcome;
        unit.seconds = record.seconds;
        ToDatabase(unit);
        if (!units_.IsOpen() || unitsFailed_) return;
        std::wstring why;
        if (!units_.Append(run::UnitCsvRow(unit, units_.Columns()), &why)) {
            unitsFailed_ = true;
            run_.FileFailed();
            Say(kExitFile,
                L"cannot write the unit records " + o_.units + L": " + why + L"; no further board is started");
        }
    }

    // The unit's record on its way to the database: in the outbox first.
    void ToDatabase(const run::UnitRecord& unit) {
        if (image_.unitOutbox == nullptr || outboxFailed_) return;
        std::string why;
        if (!image_.unitOutbox->Add(unit, &why)) {
            outboxFailed_ = true;
            run_.FileFailed();
            Say(kExitFile, L"cannot write the unit record outbox: " + Widen(why) + L"; no further board is started");
        }
        TellWaiting();
    }

    // How many unit records wait for the database, said when it changes.
    void TellWaiting() {
        const std::size_t waiting = image_.unitOutbox->Waiting();
        if (waiting == toldWaiting_) return;
        if (waiting != 0)
            Say(kExitOk, std::to_wstring(waiting) + L" unit record(s) wait for the database (" +
                             Widen(image_.unitOutbox->LastWhy()) + L")");
        else Say(kExitOk, L"the unit records that waited are in the database");
        toldWaiting_ = waiting;
    }

    void Write(const BoardRecord& record) {
        ended_ = isp::SecondsNow();
        display_.Clear();
        Out().Line(o_.json ? BoardJson(record) : BoardLine(record));
        if (log_.IsOpen() && !logFailed_) {
            std::wstring why;
            if (!log_.Append(BoardCsv(record, log_.Columns()), &why)) {
                logFailed_ = true;
                run_.FileFailed();
                Say(kExitFile, L"cannot write the log " + o_.log + L": " + why + L"; no further board is started");
            }
        }
    }

    void Say(int code, const std::wstring& message) {
        display_.Clear();
        Fail(code, message);
    }

    void JournalFailed(const std::string& why) {
        Say(kExitFile, L"cannot write the serial state file " + o_.serialState + L": " + Widen(why) +
                           L"; no further board is started");
    }

    int Finish() {
        const double seconds = ended_ - started_;
        if (gang_ && !o_.json) {
            for (const std::string& line : GangTable(run_, seconds)) Out().Line(line);
        } else if (gang_) {
            for (std::size_t i = 0; i < drivers_.size(); ++i) {
                const GangPort& p = run_.Ports()[i];
                JsonObject j;
                j["record"] = "port";
                j["port"] = p.name;
                // The port record says "lost" for a port that never opened,
                // as it always has; only the row reads "not opened".
                j["state"] = p.state == PortState::Lost ? "lost" : StateText(p);
                j["passed"] = p.passed;
                j["failed"] = p.failed;
                j["last_serial"] = p.lastSerial.empty() ? JsonObject(nullptr) : JsonObject(p.lastSerial);
                j["worker_cpu_seconds"] = Rounded(usage_[i].cpuSeconds, 3);
                j["worker_peak_bytes"] = usage_[i].peakBytes;
                Out().Line(JsonLine(j));
            }
        }
        SummaryRecord summary;
        summary.flashSize = image_.flashSize;
        summary.flashChecksum = image_.flashChecksum;
        summary.flashCrc = image_.flashCrc;
        summary.time = NowStamp();
        summary.boards = run_.Boards();
        summary.passed = run_.PassedBoards();
        summary.failed = run_.FailedBoards();
        summary.stopped = run_.Stopped() || StopRequested() || controlStopped_ ? 1 : 0;
        summary.seconds = seconds;
        summary.boardsPerHour = BoardsPerHour(summary.passed, seconds);
        summary.exitCode = run_.ExitCode();
        if (summary.exitCode == kExitOk && (StopRequested() || controlStopped_)) summary.exitCode = kExitStopped;
        Out().Line(o_.json ? SummaryJson(summary) : SummaryLine(summary));
        if (log_.IsOpen() && !logFailed_) {
            std::wstring why;
            if (!log_.Append(SummaryCsv(summary, log_.Columns()), &why))
                return Fail(kExitFile, L"cannot write the log " + o_.log + L": " + why);
        }
        return summary.exitCode;
    }

    const Options& o_;
    const RestartPort& restart_;
    const ImageSummary& image_;
    std::vector<std::unique_ptr<BoardDriver>>& drivers_;
    GangRun& run_;
    CsvLog& log_;
    CsvLog& units_;
    RunDisplay& display_;
    const bool gang_;
    std::vector<std::uint16_t> status_;
    std::vector<Usage> usage_;
    std::vector<std::string> reasons_;     // the last failed board's outcome, per port
    std::vector<std::string> toldStates_;  // the last port_state record, per port
    bool controlStopped_ = false;
    double started_ = 0, ended_ = 0;
    bool logFailed_ = false;
    bool unitsFailed_ = false;
    bool noSerialTold_ = false;
    bool outboxFailed_ = false;
    std::size_t toldWaiting_ = 0;  // unit records waiting for the database, as last said  // the ports wait for a
                                   // serial number, and the user was told
};

}  // namespace

int RunBoards(const Options& o, const ImageSummary& image, std::vector<std::unique_ptr<BoardDriver>>& drivers,
              GangRun& run, CsvLog& log, CsvLog& units, RunDisplay& display, const RestartPort& restart) {
    return BoardLoop(o, image, drivers, run, log, units, display, restart).Run();
}

}  // namespace cli
