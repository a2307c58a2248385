#include "cli/Records.h"

#include "cli/Text.h"

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

double BoardsPerHour(std::uint64_t passed, double seconds) {
    if (!(seconds > 0)) return 0;
    return static_cast<double>(passed) * 3600.0 / seconds;
}

std::string OutcomeLabel(std::uint16_t code, const std::string& outcome) {
    return outcome.empty() ? "result " + std::to_string(code) : outcome;
}

std::string BoardLine(const BoardRecord& r) {
    std::string line = r.time.substr(0, 19);
    if (line.size() > 10) line[10] = ' ';
    line += "  board " + std::to_string(r.board);
    if (r.hasSerial) line += "  serial " + std::to_string(r.serial);
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
    std::string j = "{\"record\":\"board\",\"time\":" + JsonString(r.time) + ",\"board\":" + std::to_string(r.board);
    j += ",\"serial\":" + (r.hasSerial ? std::to_string(r.serial) : std::string("null"));
    j += ",\"code\":" + std::to_string(r.code) + ",\"outcome\":" + JsonString(r.outcome);
    j += ",\"passed\":" + std::string(r.code == 101 ? "true" : "false");
    j += ",\"seconds\":" + Fixed(r.seconds, 3) + ",\"library_seconds\":" + Fixed(r.librarySeconds, 3) +
         ",\"wait_seconds\":" + Fixed(r.waitSeconds, 3) + "}";
    return j;
}

std::string SummaryJson(const SummaryRecord& r) {
    std::string j = "{\"record\":\"summary\",\"time\":" + JsonString(r.time);
    j += ",\"boards\":" + std::to_string(r.boards) + ",\"passed\":" + std::to_string(r.passed) +
         ",\"failed\":" + std::to_string(r.failed) + ",\"stopped\":" + std::to_string(r.stopped);
    j += ",\"seconds\":" + Fixed(r.seconds, 3) + ",\"boards_per_hour\":" + Fixed(r.boardsPerHour, 1);
    j += ",\"flash_size\":" + std::to_string(r.flashSize) + ",\"flash_checksum\":" +
         JsonString(HexText(r.flashChecksum, 4)) + ",\"flash_crc32\":" + JsonString(HexText(r.flashCrc, 8));
    j += ",\"exit_code\":" + std::to_string(r.exitCode) + "}";
    return j;
}

std::string CsvHeader() {
    return "record,time,board,serial,code,outcome,seconds,passed,failed,stopped,boards_per_hour";
}

std::string BoardCsv(const BoardRecord& r) {
    return "board," + CsvField(r.time) + "," + std::to_string(r.board) + "," +
           (r.hasSerial ? std::to_string(r.serial) : std::string()) + "," + std::to_string(r.code) + "," +
           CsvField(r.outcome) + "," + Fixed(r.seconds, 3) + ",,,,";
}

std::string SummaryCsv(const SummaryRecord& r) {
    return "summary," + CsvField(r.time) + "," + std::to_string(r.boards) + ",,,," + Fixed(r.seconds, 3) + "," +
           std::to_string(r.passed) + "," + std::to_string(r.failed) + "," + std::to_string(r.stopped) + "," +
           Fixed(r.boardsPerHour, 1);
}

}  // namespace cli
