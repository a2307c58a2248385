#include "cli/WorkerSide.h"

#include <windows.h>
#include <psapi.h>

#include <deque>
#include <string>

#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/GangWire.h"
#include "cli/StdinLines.h"
#include "cli/StopKey.h"
#include "cli/Text.h"
#include "framework/Handles.h"

namespace cli {
namespace {

// How often the worker looks at its board, and how often it tells its
// parent a changed status word (the parent's table needs no more).
constexpr DWORD kTurnMs = 25;
constexpr double kStatusEverySeconds = 0.25;

void SendWire(HANDLE pipe, const WireMessage& message) {
    const std::string line = EncodeWire(message) + "\n";
    DWORD written = 0;
    ::WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// This worker's CPU time and peak memory so far, for the parent's records.
void AddUsage(WireMessage* m) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        auto ticks = [](const FILETIME& f) {
            return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
        };
        m->fields["cpu"] = Fixed(static_cast<double>(ticks(kernel) + ticks(user)) / 1e7, 3);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory))
        m->fields["peak"] = std::to_string(static_cast<std::uint64_t>(memory.PeakWorkingSetSize));
}

}  // namespace

int ServeParent(LocalBoard& board) {
    QuietStopNotice();
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    // The parent's messages: "board" starts the next board, "stop" stops
    // the running one as a Ctrl+C would; the parent closing the pipe (or
    // going away) ends the worker once its board is over.
    StdinLines& inbox = StdinLines::Instance();
    if (!inbox.Started()) return Fail(kExitBoardFailed, L"no worker thread could be started");
    SendWire(out, WireMessage{"ready", {}});
    std::deque<WireMessage> boards;
    bool closed = false;
    const auto takeMessages = [&] {
        std::string line;
        bool ended = false;
        while (inbox.Next(&line, &ended)) {
            WireMessage m;
            if (!DecodeWire(line, &m)) continue;
            if (m.verb == "stop") RequestStop();
            else if (m.verb == "board") boards.push_back(m);
        }
        closed = closed || ended;
    };

    bool busy = false, stopAsked = false;
    std::string running;  // the running board's number
    std::uint16_t told = isp::kStatusWaitingForTarget, seen = isp::kStatusWaitingForTarget;
    double toldAt = 0;
    std::vector<DriverEvent> events;
    for (;;) {
        takeMessages();
        if (!busy) {
            if (boards.empty()) {
                if (closed) break;
                ::WaitForSingleObject(inbox.Arrived(), INFINITE);
                continue;
            }
            const WireMessage next = boards.front();
            boards.pop_front();
            SerialValue serial;
            const bool hasSerial = !next.Field("serial").empty() && ParseSerialValue(next.Field("serial"), &serial);
            running = next.Field("n");
            busy = true;
            stopAsked = false;
            told = seen = isp::kStatusWaitingForTarget;
            toldAt = isp::SecondsNow();
            board.StartBoard(std::strtoull(running.c_str(), nullptr, 10), hasSerial ? &serial : nullptr);
        }
        // A stop from the parent, or a Ctrl+C this worker heard itself.
        if (StopRequested() && !stopAsked) {
            stopAsked = true;
            board.StopBoard();
        }
        events.clear();
        board.Poll(&events);
        for (const DriverEvent& e : events) {
            if (e.kind == DriverEvent::Kind::Status) seen = e.word;
            if (e.kind != DriverEvent::Kind::Outcome) continue;
            busy = false;
            WireMessage result{"result", {}};
            result.fields["n"] = running;
            result.fields["code"] =
                std::to_string(e.outcome.noThread ? static_cast<std::uint16_t>(isp::kNotFindDevice) : e.outcome.code);
            result.fields["seconds"] = Fixed(e.outcome.seconds, 3);
            result.fields["library"] = Fixed(e.outcome.librarySeconds, 3);
            result.fields["wait"] = Fixed(e.outcome.waitSeconds, 3);
            if (e.outcome.portLost) result.fields["lost"] = "1";
            AddUsage(&result);
            SendWire(out, result);
            if (e.outcome.portLost) return kExitBoardFailed;
        }
        if (busy && seen != told && isp::SecondsNow() - toldAt >= kStatusEverySeconds) {
            told = seen;
            toldAt = isp::SecondsNow();
            SendWire(out, WireMessage{"status", {{"word", std::to_string(seen)}}});
        }
        if (busy) ::Sleep(kTurnMs);
    }
    return kExitOk;
}

}  // namespace cli
