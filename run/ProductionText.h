// What the production view shows, in both languages: a port's tile (its
// state in words with a symbol, the reason of a failed board, the last
// serial number and board time), the tile's accessible name, the counters,
// and how the console programmer's JSON records change a tile. Window-free.
#pragma once

#include "run/UnitRecord.h"

#include <string>
#include <string_view>

namespace run {

enum class TileState { Ready, Waiting, Programming, Pass, Fail, Lost, Stopped };

struct Tile {
    std::string port;  // "COM7"
    TileState state = TileState::Ready;
    unsigned percent = 0;  // while Programming
    std::string serial;    // of the port's current or last board, empty for none
    std::string reason;    // why the last board failed or the port was lost
    double seconds = -1;   // the last board's time; below 0 for none yet
};

// One record of the console programmer's JSON Lines, as far as the view
// reads it.
struct RunEvent {
    enum class Kind { None, PortState, Board, Summary } kind = Kind::None;
    std::string port;
    std::string state;  // port_state: "ready", "waiting", "programming", ...
    unsigned percent = 0;
    std::string serial;   // empty for none
    std::string reason;   // port_state of a failed or lost port
    std::string outcome;  // board
    bool passed = false;  // board
    double seconds = 0;   // board
};

// Kind::None for a line that is no such record (a message of the console).
RunEvent ParseRunEvent(std::string_view line);

// What a record does to its port's tile. A tile keeps a board's result
// (PASS, or FAIL with its reason) in view until the next board on its port
// starts programming, so waiting for the next board, or that wait being
// stopped, leaves it standing.
void ApplyEvent(Tile& tile, const RunEvent& event);

// The large line of a tile: a symbol and the state's words, so that the
// state is never told by colour alone ("✔ PASS", "▶ Programming 42 %").
std::wstring TileStateLine(const Tile& tile, int language);
// The state's words alone ("PASS", "Programming").
std::wstring TileStateWord(TileState state, int language);
// The small lines: the failure's reason, and "Serial 7003  6.2 s".
std::wstring TileDetailLine(const Tile& tile, int language);
// The tile's window text, which a screen reader reads: port, state and last
// serial ("COM7 PASS 7003"), with the reason after a failure.
std::wstring TileName(const Tile& tile, int language);

// "Passed 9, Failed 0, Total 9".
std::wstring CountersText(const UnitCounters& counters, int language);
// "Yield 100.0 %, 540 boards per hour".
std::wstring RateText(const UnitCounters& counters, double boardsPerHour, int language);
// The view's other texts.
enum class ViewText {
    Menu,  // the system menu item
    Start,
    Stop,
    ResetCounters,
    Sounds,
    ResetQuestion,  // %1 project
    Running,
    Stopping,
    Ended,       // %1 exit code
    NotStarted,  // %1 why
    NoProject,
    UnitsNotWritten,  // %1 file, %2 why: the main window's log
};
const wchar_t* ViewTextOf(ViewText id, int language);

// "Production - line 1".
std::wstring ViewTitle(const std::wstring& project, int language);

}  // namespace run
