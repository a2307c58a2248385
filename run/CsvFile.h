// A CSV file that records are appended to: the console's run log and the
// record of every unit (units.csv), for the console and the window alike.
// Opened (and created with its header) before the first board, so that a
// file that cannot be written stops a run before anything is programmed;
// every record is written through and flushed to the disk at once, so that
// a power cut loses at most the board that was running, and never leaves
// half a line.
#pragma once

#include "framework/Handles.h"

#include <string>
#include <vector>

namespace run {

class CsvFile {
public:
    // Opens path for appending. A new (empty) file gets a header row naming
    // columns; a file that has one keeps it, and Columns() then names its
    // own columns.
    bool Open(const std::wstring& path, const std::vector<std::string>& columns, std::wstring* error);
    bool IsOpen() const { return file_.valid(); }
    void Close() { file_.reset(); }
    const std::vector<std::string>& Columns() const { return columns_; }
    // One line (its line break is added), flushed to the disk.
    bool Append(const std::string& line, std::wstring* error);

private:
    UniqueHandle file_;
    std::vector<std::string> columns_;
};

// The system's words for an error code inside a sentence of ours: without
// the system's full stop.
std::wstring SystemReason(unsigned long error);

}  // namespace run
