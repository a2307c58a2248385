#include "run/UnitRecord.h"

#include <cstdio>
#include <cstdlib>

namespace run {
namespace {

std::string Field(std::string_view text) { return CsvQuote(text); }

}  // namespace

std::string CsvQuote(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

namespace {

std::string Seconds(double seconds) {
    if (!(seconds >= 0) || seconds > 1e9) seconds = 0;
    // Built from integers: a process locale with a decimal comma must not
    // break the file.
    const auto millis = static_cast<unsigned long long>(seconds * 1000 + 0.5);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu.%03llu", millis / 1000, millis % 1000);
    return buf;
}

// The fields of one CSV row starting at `at`; `at` moves past its line break.
std::vector<std::string> Row(std::string_view text, std::size_t& at) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c == '"' && at < text.size() && text[at] == '"') {
                fields.back() += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace

const std::vector<std::string>& UnitFields() {
    static const std::vector<std::string> fields = {"time", "station", "operator",    "project", "project_sha256",
                                                    "port", "serial",  "image_crc32", "outcome", "seconds"};
    return fields;
}

std::string UnitCsvHeader() {
    std::string line;
    for (const std::string& f : UnitFields()) line += (line.empty() ? "" : ",") + f;
    return line;
}

std::vector<std::string> CsvColumns(std::string_view headerLine) {
    std::size_t at = 0;
    if (headerLine.substr(0, 3) == "\xEF\xBB\xBF") at = 3;
    return Row(headerLine, at);
}

std::string UnitCsvRow(const UnitRecord& r, const std::vector<std::string>& columns) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string& c = columns[i];
        const std::string value = c == "time"             ? Field(r.time)
                                  : c == "station"        ? Field(r.station)
                                  : c == "operator"       ? Field(r.operatorName)
                                  : c == "project"        ? Field(r.project)
                                  : c == "project_sha256" ? Field(r.projectSha256)
                                  : c == "port"           ? Field(r.port)
                                  : c == "serial"         ? Field(r.serial)
                                  : c == "image_crc32"    ? Field(r.imageCrc32)
                                  : c == "outcome"        ? Field(r.outcome)
                                  : c == "seconds"        ? Seconds(r.seconds)
                                                          : std::string();
        line += (i == 0 ? "" : ",") + value;
    }
    return line;
}

std::string TimeWithOffset(int year, int month, int day, int hour, int minute, int second, int millisecond,
                           int offsetMinutes) {
    const char sign = offsetMinutes < 0 ? '-' : '+';
    const int offset = std::abs(offsetMinutes);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month, day, hour, minute,
                  second, millisecond, sign, offset / 60, offset % 60);
    return buf;
}

std::string Crc32Text(std::uint32_t crc) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(crc));
    return buf;
}

double UnitCounters::YieldPercent() const {
    return Total() == 0 ? 0 : 100.0 * static_cast<double>(passed) / static_cast<double>(Total());
}

void CountOutcome(UnitCounters& counters, std::string_view outcome) {
    if (outcome == kCountersReset) counters = UnitCounters{};
    else if (outcome == "Pass") ++counters.passed;
    else if (outcome != "Stop") ++counters.failed;
}

UnitCounters CountUnits(std::string_view text, std::string_view project) {
    UnitCounters counters;
    std::size_t at = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") at = 3;
    const std::vector<std::string> columns = Row(text, at);
    int projectColumn = -1, outcomeColumn = -1;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] == "project") projectColumn = static_cast<int>(i);
        if (columns[i] == "outcome") outcomeColumn = static_cast<int>(i);
    }
    if (outcomeColumn < 0) return counters;
    while (at < text.size()) {
        const std::vector<std::string> row = Row(text, at);
        if (row.size() <= static_cast<std::size_t>(outcomeColumn)) continue;  // a blank or cut line
        const std::string rowProject = projectColumn >= 0 && row.size() > static_cast<std::size_t>(projectColumn)
                                           ? row[static_cast<std::size_t>(projectColumn)]
                                           : std::string();
        if (rowProject != project) continue;
        CountOutcome(counters, row[static_cast<std::size_t>(outcomeColumn)]);
    }
    return counters;
}

}  // namespace run
