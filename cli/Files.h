// Files of the console program: firmware files read whole the way the
// window's loader reads them, image and block files written whole, and the
// CSV run log.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Handles.h"

namespace cli {

// The system's text for an error code, without the trailing line break.
std::wstring SystemMessage(DWORD error);

enum class ReadStatus { Ok, OpenError, TooLarge, ReadError };

struct FileBytes {
    ReadStatus status = ReadStatus::Ok;
    std::vector<std::uint8_t> bytes;
    DWORD error = 0;  // the system's reason for OpenError and ReadError
};

// Opens the file as the loader does (read access, no sharing, so that a file
// another program is still writing is refused rather than read half), refuses
// a binary file that cannot fit before reading it, then reads it whole.
FileBytes ReadFirmwareFile(const std::wstring& path, bool isHex, std::uint32_t capacity, std::uint32_t insertOffset);

// Writes bytes as the whole new content of path. Empty text on success,
// otherwise the reason.
std::wstring WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// The run log: opened (and created with its header) before the first board,
// so that a log that cannot be written stops the run before anything is
// programmed; every record is written through and flushed to the disk at
// once, so that a power cut loses at most the board that was running.
class CsvLog {
public:
    bool Open(const std::wstring& path, const std::string& header, std::wstring* error);
    bool IsOpen() const { return file_.valid(); }
    bool Append(const std::string& line, std::wstring* error);

private:
    UniqueHandle file_;
};

}  // namespace cli
