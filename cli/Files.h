// Files of the console program: image and block files written whole, and
// the CSV run log. Firmware files are read through the window's loading
// routine (image/FileLoad.h, files/FirmwareFile.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "run/CsvFile.h"

namespace cli {

// The system's text for an error code, without the trailing line break.
std::wstring SystemMessage(DWORD error);

// Writes a buffer as the whole new content of path, in the format its
// extension names (image::OutputFormatFor: Intel HEX, S-record or binary),
// through a temporary file so that a failed write leaves the old file as it
// was. Empty text on success, otherwise the reason.
std::wstring WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// The run log and the unit records: the CSV file the window writes as well.
using CsvLog = run::CsvFile;

}  // namespace cli
