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
    for (const std::string& checksum : r.checksums) line += "  " + checksum;
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
    const std::string port = r.port.empty() ? r.unitPort : r.port;
    if (!port.empty()) j["port"] = port;
    // The unit record's fields.
    if (!r.station.empty()) j["station"] = r.station;
    if (!r.operatorName.empty()) j["operator"] = r.operatorName;
    if (!r.project.empty()) j["project"] = r.project;
    if (!r.projectSha256.empty()) j["project_sha256"] = r.projectSha256;
    if (!r.imageCrc32.empty()) j["image_crc32"] = r.imageCrc32;
    if (!r.checksums.empty()) j["checksums"] = r.checksums;
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

std::vector<std::string> OlderLogColumns(bool withPort) {
    std::vector<std::string> columns = {"record",  "time",   "board",  "serial",  "code",           "outcome",
                                        "seconds", "passed", "failed", "stopped", "boards_per_hour"};
    if (withPort) columns.push_back("port");
    return columns;
}

std::vector<std::string> LogColumns() {
    // The port stays the last column, as a gang's older logs have it.
    std::vector<std::string> columns = OlderLogColumns(false);
    for (const char* c : {"station", "operator", "project", "project_sha256", "image_crc32", "port"})
        columns.push_back(c);
    return columns;
}

std::string CsvHeader(const std::vector<std::string>& columns) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) line += (i == 0 ? "" : ",") + CsvField(columns[i]);
    return line;
}

namespace {

template <class ValueOf>
std::string Row(const std::vector<std::string>& columns, ValueOf value) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) line += (i == 0 ? "" : ",") + value(columns[i]);
    return line;
}

}  // namespace

std::string BoardCsv(const BoardRecord& r, const std::vector<std::string>& columns) {
    return Row(columns, [&](const std::string& c) -> std::string {
        if (c == "record") return "board";
        if (c == "time") return CsvField(r.time);
        if (c == "board") return std::to_string(r.board);
        if (c == "serial") return r.hasSerial ? CsvField(SerialText(r)) : std::string();
        if (c == "code") return std::to_string(r.code);
        if (c == "outcome") return CsvField(r.outcome);
        if (c == "seconds") return Fixed(r.seconds, 3);
        if (c == "port") return CsvField(r.port.empty() ? r.unitPort : r.port);
        if (c == "station") return CsvField(r.station);
        if (c == "operator") return CsvField(r.operatorName);
        if (c == "project") return CsvField(r.project);
        if (c == "project_sha256") return CsvField(r.projectSha256);
        if (c == "image_crc32") return CsvField(r.imageCrc32);
        return std::string();
    });
}

std::string SummaryCsv(const SummaryRecord& r, const std::vector<std::string>& columns) {
    return Row(columns, [&](const std::string& c) -> std::string {
        if (c == "record") return "summary";
        if (c == "time") return CsvField(r.time);
        if (c == "board") return std::to_string(r.boards);
        if (c == "seconds") return Fixed(r.seconds, 3);
        if (c == "passed") return std::to_string(r.passed);
        if (c == "failed") return std::to_string(r.failed);
        if (c == "stopped") return std::to_string(r.stopped);
        if (c == "boards_per_hour") return Fixed(r.boardsPerHour, 1);
        return std::string();
    });
}

std::string CsvHeader(bool withPort) { return CsvHeader(OlderLogColumns(withPort)); }

std::string BoardCsv(const BoardRecord& r, bool withPort) { return BoardCsv(r, OlderLogColumns(withPort)); }

std::string SummaryCsv(const SummaryRecord& r, bool withPort) { return SummaryCsv(r, OlderLogColumns(withPort)); }

}  // namespace cli
