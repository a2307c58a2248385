#include "cli/Records.h"

#include "cli/JsonLine.h"
#include "cli/Text.h"
#include "text/UiText.h"

#include <cstdio>

namespace cli {

namespace {

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

std::string TimeStamp(const LocalTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%s-%sT%s:%s:%s.%03d", t.year, Two(t.month).c_str(), Two(t.day).c_str(),
                  Two(t.hour).c_str(), Two(t.minute).c_str(), Two(t.second).c_str(), t.millisecond);
    return buf;
}

std::string OutcomeText(isp::JobKind kind, std::uint16_t code) {
    const int id = isp::OutcomeTextId(kind, code);
    return id < 0 ? std::string() : Utf8(LangText(static_cast<texts::TextId>(id), 0));
}

double BoardsPerHour(std::uint64_t passed, double seconds) {
    if (!(seconds > 0)) return 0;
    return static_cast<double>(passed) * 3600.0 / seconds;
}

std::string OutcomeLabel(std::uint16_t code, const std::string& outcome) {
    return outcome.empty() ? "result " + std::to_string(code) : outcome;
}

std::string SerialText(const BoardRecord& r) { return r.serialText.empty() ? std::to_string(r.serial) : r.serialText; }

std::string BoardLine(const BoardRecord& r) {
    std::string line = r.time.substr(0, 19);
    if (line.size() > 10) line[10] = ' ';
    if (!r.port.empty()) line += "  " + r.port;
    line += "  board " + std::to_string(r.board);
    if (r.hasSerial) line += "  serial " + SerialText(r);
    line += "  " + OutcomeLabel(r.code, r.outcome) + "  [" + Fixed(r.seconds, 3) + " s]";
    return line;
}

std::string SummaryLine(const SummaryRecord& r) {
    std::string line = std::to_string(r.passed) + " passed, " + std::to_string(r.failed) + " failed";
    if (r.stopped != 0) line += ", stopped";
    line += " in " + Fixed(r.seconds, 1) + " s: " + Fixed(r.boardsPerHour, 1) + " boards per hour";
    return line;
}

std::string BoardJson(const BoardRecord& r) {
    JsonObject j;
    j["record"] = "board";
    j["time"] = r.time;
    j["board"] = r.board;
    j["serial"] = !r.hasSerial           ? JsonObject(nullptr)
                  : r.serialText.empty() ? JsonObject(r.serial)
                                         : JsonObject(r.serialText);
    j["code"] = r.code;
    j["outcome"] = r.outcome;
    j["passed"] = r.code == 101;
    j["seconds"] = Rounded(r.seconds, 3);
    j["library_seconds"] = Rounded(r.librarySeconds, 3);
    j["wait_seconds"] = Rounded(r.waitSeconds, 3);
    if (!r.port.empty()) j["port"] = r.port;
    return JsonLine(j);
}

std::string SummaryJson(const SummaryRecord& r) {
    JsonObject j;
    j["record"] = "summary";
    j["time"] = r.time;
    j["boards"] = r.boards;
    j["passed"] = r.passed;
    j["failed"] = r.failed;
    j["stopped"] = r.stopped;
    j["seconds"] = Rounded(r.seconds, 3);
    j["boards_per_hour"] = Rounded(r.boardsPerHour, 1);
    j["flash_size"] = r.flashSize;
    j["flash_checksum"] = HexText(r.flashChecksum, 4);
    j["flash_crc32"] = HexText(r.flashCrc, 8);
    j["exit_code"] = r.exitCode;
    return JsonLine(j);
}

std::string CsvHeader(bool withPort) {
    return std::string("record,time,board,serial,code,outcome,seconds,passed,failed,stopped,boards_per_hour") +
           (withPort ? ",port" : "");
}

std::string BoardCsv(const BoardRecord& r, bool withPort) {
    return "board," + CsvField(r.time) + "," + std::to_string(r.board) + "," +
           (r.hasSerial ? SerialText(r) : std::string()) + "," + std::to_string(r.code) + "," + CsvField(r.outcome) +
           "," + Fixed(r.seconds, 3) + ",,,," + (withPort ? "," + CsvField(r.port) : std::string());
}

std::string SummaryCsv(const SummaryRecord& r, bool withPort) {
    return "summary," + CsvField(r.time) + "," + std::to_string(r.boards) + ",,,," + Fixed(r.seconds, 3) + "," +
           std::to_string(r.passed) + "," + std::to_string(r.failed) + "," + std::to_string(r.stopped) + "," +
           Fixed(r.boardsPerHour, 1) + (withPort ? "," : "");
}

}  // namespace cli
