// The records a programming run leaves: one per board and one summary, as a
// console line, a JSON object (one per line) and a CSV row. Window-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "isp/Outcome.h"

namespace cli {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "2024-05-01T10:00:03.123" (local time, as a production log is read).
std::string TimeStamp(const LocalTime& t);

struct BoardRecord {
    std::string time;
    std::uint64_t board = 0;  // 1, 2, ... in the order the boards ran
    bool hasSerial = false;
    std::uint64_t serial = 0;
    std::string serialText;     // a byte-string serial (a MAC address): shown as text instead of the number
    std::uint16_t code = 0;     // the library's result
    std::string outcome;        // the window's text for the code (English), empty when it has none
    double seconds = 0;         // the whole board, as the window's log times it
    double librarySeconds = 0;  // inside UpdateMCU
    double waitSeconds = 0;     // of that, while the library waited for a target
    std::string port;           // a gang's port ("COM7"); empty for a single port
    // The unit record's fields (run/UnitRecord.h).
    std::string station, operatorName, project, projectSha256;
    std::string imageCrc32;  // the Flash image as programmed, with its serial number
    std::string unitPort;    // the board's port, a single port's too
    // The checksums in the board's image, "crc32@0x7FFC=1A2B3C4D" (none
    // without --checksum).
    std::vector<std::string> checksums;
};

struct SummaryRecord {
    std::string time;
    std::uint64_t boards = 0, passed = 0, failed = 0, stopped = 0;
    double seconds = 0;  // from the start of the first board to the end of the last
    double boardsPerHour = 0;
    int exitCode = 0;
    std::uint32_t flashSize = 0;
    std::uint16_t flashChecksum = 0;
    std::uint32_t flashCrc = 0;
};

// The window's (English) text for a library result, empty when it has none.
std::string OutcomeText(isp::JobKind kind, std::uint16_t code);

// Passed boards per hour of run time; 0 for no time at all.
double BoardsPerHour(std::uint64_t passed, double seconds);

// The outcome as a line shows it: the text, or "result N" for a code the
// window has no text for.
std::string OutcomeLabel(std::uint16_t code, const std::string& outcome);

// The serial as records show it: the number, or the byte string.
std::string SerialText(const BoardRecord& r);

std::string BoardLine(const BoardRecord& r);
std::string SummaryLine(const SummaryRecord& r);
std::string BoardJson(const BoardRecord& r);
std::string SummaryJson(const SummaryRecord& r);

// The CSV log: one header line for a new file, then board and summary rows
// with the same columns (a summary leaves the serial and outcome empty, a
// board the counts). A new log has every column (LogColumns: the unit
// record's fields after the counts, and the port last); a log that already exists
// keeps the columns its header names, so that a run appending to an older
// log still matches it.
std::vector<std::string> LogColumns();
// The older logs' columns: a single port's, and a gang's with the port.
std::vector<std::string> OlderLogColumns(bool withPort);
std::string CsvHeader(const std::vector<std::string>& columns);
std::string BoardCsv(const BoardRecord& r, const std::vector<std::string>& columns);
std::string SummaryCsv(const SummaryRecord& r, const std::vector<std::string>& columns);
// The older forms.
std::string CsvHeader(bool withPort = false);
std::string BoardCsv(const BoardRecord& r, bool withPort = false);
std::string SummaryCsv(const SummaryRecord& r, bool withPort = false);

}  // namespace cli
