#include "run/ProductionText.h"

#include "text/UiText.h"
#include "text/Utf8.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

namespace run {
namespace {

struct StateText {
    const wchar_t* symbol;
    const wchar_t* words;  // English, NUL, Chinese
};

// By TileState. The symbols tell the states apart where colours cannot
// (high contrast, a monochrome display, colour blindness).
constexpr StateText kStates[] = {
    {L"\u25CB", L"Ready\0\u5C31\u7EEA"},                                // ○
    {L"\u2026", L"Waiting for board\0\u7B49\u5F85\u76EE\u6807\u677F"},  // …
    {L"\u25B6", L"Programming\0\u70E7\u5F55\u4E2D"},                    // ▶
    {L"\u2714", L"PASS\0\u901A\u8FC7"},                                 // ✔
    {L"\u2718", L"FAIL\0\u5931\u8D25"},                                 // ✘
    {L"\u26A0", L"Port lost\0\u4E32\u53E3\u4E22\u5931"},                // ⚠
    {L"\u25A0", L"Stopped\0\u5DF2\u505C\u6B62"},                        // ■
};

std::string Text(const nlohmann::json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end()) return {};
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number_unsigned()) return std::to_string(it->get<std::uint64_t>());
    if (it->is_number_integer()) return std::to_string(it->get<std::int64_t>());
    return {};
}

double Number(const nlohmann::json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<double>() : 0;
}

std::wstring Fixed(double value, int decimals) {
    if (!std::isfinite(value) || value < 0) value = 0;
    // Built from integers: a process locale with a decimal comma must not
    // change what the view shows.
    const double scale = decimals == 0 ? 1 : decimals == 1 ? 10 : 100;
    const auto scaled = static_cast<unsigned long long>(value * scale + 0.5);
    std::wstring text = std::to_wstring(scaled / static_cast<unsigned long long>(scale));
    if (decimals > 0) {
        std::wstring fraction = std::to_wstring(scaled % static_cast<unsigned long long>(scale));
        fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), L'0');
        text += L"." + fraction;
    }
    return text;
}

bool ShowsResult(const Tile& tile) { return tile.state == TileState::Pass || tile.state == TileState::Fail; }

}  // namespace

RunEvent ParseRunEvent(std::string_view line) {
    RunEvent e;
    const nlohmann::json j = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (!j.is_object()) return e;
    const std::string record = Text(j, "record");
    if (record == "port_state") e.kind = RunEvent::Kind::PortState;
    else if (record == "board") e.kind = RunEvent::Kind::Board;
    else if (record == "summary") e.kind = RunEvent::Kind::Summary;
    else return e;
    e.port = Text(j, "port");
    e.state = Text(j, "state");
    const double percent = Number(j, "percent");
    e.percent = percent > 100 ? 100u : static_cast<unsigned>(percent);
    e.serial = Text(j, "serial");
    e.reason = Text(j, "reason");
    e.outcome = Text(j, "outcome");
    const auto passed = j.find("passed");
    e.passed = passed != j.end() && passed->is_boolean() && passed->get<bool>();
    e.seconds = Number(j, "seconds");
    return e;
}

void ApplyEvent(Tile& tile, const RunEvent& e) {
    if (e.kind == RunEvent::Kind::Board) {
        // The board's own record: its time, and its serial number.
        if (!e.serial.empty()) tile.serial = e.serial;
        if (e.outcome != "Stop") tile.seconds = e.seconds;
        return;
    }
    if (e.kind != RunEvent::Kind::PortState) return;
    TileState next;
    if (e.state == "opening" || e.state == "ready") next = TileState::Ready;
    else if (e.state == "waiting") next = TileState::Waiting;
    else if (e.state == "programming") next = TileState::Programming;
    else if (e.state == "passed") next = TileState::Pass;
    else if (e.state == "failed") next = TileState::Fail;
    else if (e.state == "stopped") next = TileState::Stopped;
    else if (e.state == "lost" || e.state == "not opened") next = TileState::Lost;
    else return;
    // The last result stays until the next board starts programming.
    if (ShowsResult(tile) && (next == TileState::Ready || next == TileState::Waiting || next == TileState::Stopped))
        return;
    if (next == TileState::Programming && tile.state != TileState::Programming) tile.seconds = -1;
    tile.state = next;
    tile.percent = next == TileState::Programming ? e.percent : 0;
    if (!e.serial.empty()) tile.serial = e.serial;
    tile.reason = next == TileState::Fail || next == TileState::Lost ? e.reason : std::string();
}

std::wstring TileStateWord(TileState state, int language) {
    return LangText(kStates[static_cast<int>(state)].words, language);
}

std::wstring TileStateLine(const Tile& tile, int language) {
    std::wstring line =
        std::wstring(kStates[static_cast<int>(tile.state)].symbol) + L" " + TileStateWord(tile.state, language);
    if (tile.state == TileState::Programming) line += L" " + std::to_wstring(tile.percent) + L" %";
    return line;
}

std::wstring TileDetailLine(const Tile& tile, int language) {
    std::wstring line;
    if (!tile.serial.empty()) line = LangText(L"Serial \0\u5E8F\u5217\u53F7 ", language) + text::Widen(tile.serial);
    if (tile.seconds >= 0) line += (line.empty() ? L"" : L"  ") + Fixed(tile.seconds, 1) + L" s";
    return line;
}

std::wstring TileName(const Tile& tile, int language) {
    std::wstring name = text::Widen(tile.port) + L" " + TileStateWord(tile.state, language);
    if (!tile.serial.empty()) name += L" " + text::Widen(tile.serial);
    if (!tile.reason.empty()) name += L": " + text::Widen(tile.reason);
    return name;
}

std::wstring CountersText(const UnitCounters& c, int language) {
    return FillText(
        LangText(L"Passed %1, Failed %2, Total %3\0\u901A\u8FC7 %1\uFF0C\u5931\u8D25 %2\uFF0C\u603B\u8BA1 %3",
                 language),
        {std::to_wstring(c.passed), std::to_wstring(c.failed), std::to_wstring(c.Total())});
}

std::wstring RateText(const UnitCounters& c, double boardsPerHour, int language) {
    return FillText(
        LangText(L"Yield %1 %, %2 boards per hour\0\u826F\u7387 %1 %\uFF0C\u6BCF\u5C0F\u65F6 %2 \u5757", language),
        {Fixed(c.YieldPercent(), 1), Fixed(boardsPerHour, 0)});
}

const wchar_t* ViewTextOf(ViewText id, int language) {
    static const wchar_t* const kTexts[] = {
        L"Production view...\0\u751F\u4EA7\u89C6\u56FE...",
        L"Start\0\u5F00\u59CB",
        L"Stop\0\u505C\u6B62",
        L"Reset counters\0\u8BA1\u6570\u6E05\u96F6",
        L"Sounds\0\u58F0\u97F3",
        L"Reset the counters of %1 to zero?\n\nThe reset is written into the unit records."
        L"\0\u5C06 %1 "
        L"\u7684\u8BA1\u6570\u6E05\u96F6\uFF1F\n\n\u6E05\u96F6\u5C06\u5199\u5165\u5355\u677F\u8BB0\u5F55\u3002",
        L"Running: every port takes board after "
        L"board\0\u8FD0\u884C\u4E2D\uFF1A\u6BCF\u4E2A\u4E32\u53E3\u4F9D\u6B21\u70E7\u5F55",
        L"Stopping...\0\u6B63\u5728\u505C\u6B62...",
        L"The programmer ended (exit code %1)\0\u70E7\u5F55\u7A0B\u5E8F\u5DF2\u7ED3\u675F (\u9000\u51FA\u7801 %1)",
        L"Tarvel_CLI.exe could not be started: %1\0\u65E0\u6CD5\u542F\u52A8 Tarvel_CLI.exe\uFF1A%1",
        L"Open a project with COM ports "
        L"first\0\u8BF7\u5148\u6253\u5F00\u4E00\u4E2A\u5E26\u6709\u4E32\u53E3\u7684\u9879\u76EE",
        L"The unit records cannot be written to %1 (%2): programming stops"
        L"\0\u65E0\u6CD5\u5C06\u5355\u677F\u8BB0\u5F55\u5199\u5165 %1 (%2)\uFF1A\u70E7\u5F55\u505C\u6B62",
    };
    return LangText(kTexts[static_cast<int>(id)], language);
}

std::wstring ViewTitle(const std::wstring& project, int language) {
    return LangText(L"Production - \0\u751F\u4EA7 - ", language) + project;
}

}  // namespace run
