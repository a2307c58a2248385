// Files of the console program: image and block files written whole, and
// the CSV run log. Firmware files are read through the window's loading
// routine (image/FileLoad.h, files/FirmwareFile.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Handles.h"

namespace cli {

// The system's text for an error code, without the trailing line break.
std::wstring SystemMessage(DWORD error);

// Writes a buffer as the whole new content of path, in the format its
// extension names (image::OutputFormatFor: Intel HEX, S-record or binary),
// through a temporary file so that a failed write leaves the old file as it
// was. Empty text on success, otherwise the reason.
std::wstring WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// The run log: opened (and created with its header) before the first board,
// so that a log that cannot be written stops the run before anything is
// programmed; every record is written through and flushed to the disk at
// once, so that a power cut loses at most the board that was running.
class CsvLog {
public:
    // Opens path for appending. A new (empty) file gets a header row naming
    // columns; a file that has one keeps it, and Columns() then names its
    // own columns.
    bool Open(const std::wstring& path, const std::vector<std::string>& columns, std::wstring* error);
    bool IsOpen() const { return file_.valid(); }
    const std::vector<std::string>& Columns() const { return columns_; }
    bool Append(const std::string& line, std::wstring* error);

private:
    UniqueHandle file_;
    std::vector<std::string> columns_;
};

}  // namespace cli
