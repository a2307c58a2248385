// The record of every unit: one row per board programmed, from the
// production view, the main window and the console alike, in a CSV file
// (units.csv) that an audit reads. A file that already exists keeps the
// columns its header names, so that a station updated to a newer tool goes
// on appending to its old file. Window-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace run {

// The outcome of the record that resets a project's counters.
constexpr const char* kCountersReset = "Counters reset";

struct UnitRecord {
    std::string time;           // local time with its UTC offset, TimeWithOffset
    std::string station;        // the computer's name
    std::string operatorName;   // the user's name
    std::string project;        // the project's name, empty without one
    std::string projectSha256;  // of the project file, empty without one
    std::string port;           // "COM7", "KV707"
    std::string serial;         // empty for none
    std::string imageCrc32;     // eight hexadecimal digits: the Flash image as programmed
    std::string outcome;        // the run's result word ("Pass" for a passed board)
    double seconds = 0;
};

// time, station, operator, project, project_sha256, port, serial,
// image_crc32, outcome, seconds.
const std::vector<std::string>& UnitFields();
// The header row of a new file (without its line break).
std::string UnitCsvHeader();
// A field as CSV writes it: quoted where it holds a comma, a quote or a
// line break.
std::string CsvQuote(std::string_view text);
// The columns a header row names.
std::vector<std::string> CsvColumns(std::string_view headerLine);
// The record as one row (without its line break) for a file with these
// columns: each column the record knows gets its field, any other stays
// empty. Fields are quoted where CSV needs it, so a row is always one line.
std::string UnitCsvRow(const UnitRecord& record, const std::vector<std::string>& columns);

// "2026-12-11T04:02:03.123+01:00"; offsetMinutes east of UTC.
std::string TimeWithOffset(int year, int month, int day, int hour, int minute, int second, int millisecond,
                           int offsetMinutes);

// Eight upper-case hexadecimal digits.
std::string Crc32Text(std::uint32_t crc);

struct UnitCounters {
    std::uint64_t passed = 0, failed = 0;
    std::uint64_t Total() const { return passed + failed; }
    // Passed boards in percent of all; 0 without boards.
    double YieldPercent() const;
};
// One record's outcome added to the counters: "Pass" counts as passed, a
// counters reset starts them again, a board the operator stopped ("Stop")
// is no unit's result and counts as neither, any other outcome as failed.
void CountOutcome(UnitCounters& counters, std::string_view outcome);
// A project's counters from a units file's text: its rows, each counted by
// CountOutcome.
UnitCounters CountUnits(std::string_view fileText, std::string_view project);

}  // namespace run
