// The production view's texts in both languages, and how the console's
// records move a tile: a result stays in view until the next board on its
// port starts programming.
#include "run/ProductionText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using run::RunEvent;
using run::Tile;
using run::TileState;

RunEvent State(const std::string& state, const std::string& serial = "", unsigned percent = 0,
               const std::string& reason = "") {
    const std::string line = "{\"record\":\"port_state\",\"port\":\"COM7\",\"state\":\"" + state +
                             "\",\"percent\":" + std::to_string(percent) +
                             ",\"board\":3,\"serial\":" + (serial.empty() ? "null" : "\"" + serial + "\"") +
                             ",\"reason\":" + (reason.empty() ? "null" : "\"" + reason + "\"") +
                             ",\"passed\":2,\"failed\":0}";
    const RunEvent e = run::ParseRunEvent(line);
    EXPECT_EQ(e.kind, RunEvent::Kind::PortState) << line;
    return e;
}

TEST(ProductionText, EveryStateHasItsWordsAndSymbolInBothLanguages) {
    struct Case {
        TileState state;
        unsigned percent;
        const wchar_t* english;
        const wchar_t* chinese;
        const wchar_t* name;  // the tile's window text in English
    };
    const Case cases[] = {
        {TileState::Ready, 0, L"\u25CB Ready", L"\u25CB \u5C31\u7EEA", L"COM7 Ready 7003"},
        {TileState::Waiting, 0, L"\u2026 Waiting for board", L"\u2026 \u7B49\u5F85\u76EE\u6807\u677F",
         L"COM7 Waiting for board 7003"},
        {TileState::Programming, 42, L"\u25B6 Programming 42 %", L"\u25B6 \u70E7\u5F55\u4E2D 42 %",
         L"COM7 Programming 7003"},
        {TileState::Pass, 0, L"\u2714 PASS", L"\u2714 \u901A\u8FC7", L"COM7 PASS 7003"},
        {TileState::Fail, 0, L"\u2718 FAIL", L"\u2718 \u5931\u8D25", L"COM7 FAIL 7003: Program error"},
        {TileState::Lost, 0, L"\u26A0 Port lost", L"\u26A0 \u4E32\u53E3\u4E22\u5931",
         L"COM7 Port lost 7003: Port lost"},
        {TileState::Stopped, 0, L"\u25A0 Stopped", L"\u25A0 \u5DF2\u505C\u6B62", L"COM7 Stopped 7003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        Tile tile;
        tile.port = "COM7";
        tile.state = c.state;
        tile.percent = c.percent;
        tile.serial = "7003";
        if (c.state == TileState::Fail) tile.reason = "Program error";
        if (c.state == TileState::Lost) tile.reason = "Port lost";
        EXPECT_EQ(run::TileStateLine(tile, 0), c.english);
        EXPECT_EQ(run::TileStateLine(tile, 1), c.chinese);
        EXPECT_EQ(run::TileName(tile, 0), c.name);
    }
    Tile tile;
    tile.serial = "00:1A:2B:3C:4D:5E";
    tile.seconds = 6.25;
    EXPECT_EQ(run::TileDetailLine(tile, 0), L"Serial 00:1A:2B:3C:4D:5E  6.3 s");
    EXPECT_EQ(run::TileDetailLine(tile, 1), L"\u5E8F\u5217\u53F7 00:1A:2B:3C:4D:5E  6.3 s");
    EXPECT_EQ(run::TileDetailLine(Tile{}, 0), L"");
}

TEST(ProductionText, CountersAndRatesInBothLanguages) {
    run::UnitCounters c;
    c.passed = 9;
    c.failed = 1;
    EXPECT_EQ(run::CountersText(c, 0), L"Passed 9, Failed 1, Total 10");
    EXPECT_EQ(run::CountersText(c, 1), L"\u901A\u8FC7 9\uFF0C\u5931\u8D25 1\uFF0C\u603B\u8BA1 10");
    EXPECT_EQ(run::RateText(c, 539.6, 0), L"Yield 90.0 %, 540 boards per hour");
    EXPECT_EQ(run::RateText(c, 539.6, 1), L"\u826F\u7387 90.0 %\uFF0C\u6BCF\u5C0F\u65F6 540 \u5757");
    EXPECT_EQ(run::CountersText(run::UnitCounters{}, 0), L"Passed 0, Failed 0, Total 0");
    EXPECT_EQ(run::RateText(run::UnitCounters{}, 0, 0), L"Yield 0.0 %, 0 boards per hour");
    EXPECT_EQ(run::ViewTitle(L"line 1", 0), L"Production - line 1");
    EXPECT_EQ(run::ViewTitle(L"line 1", 1), L"\u751F\u4EA7 - line 1");
}

TEST(ProductionText, ResultStaysUntilTheNextBoardStartsProgramming) {
    Tile tile;
    tile.port = "COM7";
    run::ApplyEvent(tile, State("opening"));
    EXPECT_EQ(tile.state, TileState::Ready);
    run::ApplyEvent(tile, State("programming", "7003", 40));
    EXPECT_EQ(tile.state, TileState::Programming);
    EXPECT_EQ(tile.percent, 40u);
    run::ApplyEvent(tile, State("passed", "7003"));
    run::ApplyEvent(tile, run::ParseRunEvent("{\"record\":\"board\",\"port\":\"COM7\",\"serial\":7003,"
                                             "\"outcome\":\"Pass\",\"passed\":true,\"seconds\":6.5}"));
    // Waiting for the next board, and that wait stopped, leave PASS standing.
    run::ApplyEvent(tile, State("waiting", "7004"));
    run::ApplyEvent(tile, State("stopped", "7004"));
    EXPECT_EQ(run::TileName(tile, 0), L"COM7 PASS 7003");
    EXPECT_EQ(tile.seconds, 6.5);
    // The next board programs: its state and number replace the result.
    run::ApplyEvent(tile, State("programming", "7004", 3));
    EXPECT_EQ(run::TileName(tile, 0), L"COM7 Programming 7004");
    EXPECT_LT(tile.seconds, 0);
    run::ApplyEvent(tile, State("failed", "7004", 0, "Program error"));
    run::ApplyEvent(tile, State("waiting", "7004"));
    EXPECT_EQ(run::TileName(tile, 0), L"COM7 FAIL 7004: Program error");
    // A stop during programming and a lost port show at once.
    run::ApplyEvent(tile, State("programming", "7004", 10));
    run::ApplyEvent(tile, State("stopped", "7004"));
    EXPECT_EQ(tile.state, TileState::Stopped);
    run::ApplyEvent(tile, State("lost", "", 0, "Port lost"));
    EXPECT_EQ(run::TileName(tile, 0), L"COM7 Port lost 7004: Port lost");
}

TEST(ProductionText, OnlyTheConsolesRecordsAreEvents) {
    for (const char* line :
         {"", "cannot write the unit records units.csv", "{\"record\":\"port\"}", "[1,2]", "{\"record\":\"board\""})
        EXPECT_EQ(run::ParseRunEvent(line).kind, RunEvent::Kind::None) << line;
    const RunEvent s = run::ParseRunEvent("{\"record\":\"summary\",\"passed\":9,\"exit_code\":0}");
    EXPECT_EQ(s.kind, RunEvent::Kind::Summary);
    const RunEvent b = run::ParseRunEvent(
        "{\"record\":\"board\",\"port\":\"COM9\",\"serial\":\"00:1A\",\"outcome\":\"Program error\",\"passed\":false}");
    EXPECT_EQ(b.kind, RunEvent::Kind::Board);
    EXPECT_EQ(b.port, "COM9");
    EXPECT_EQ(b.serial, "00:1A");
    EXPECT_FALSE(b.passed);
}

}  // namespace
