// Reading a file whole: the settings file, a serial state journal, the
// image a gang's worker is handed, a file the hex editor demo shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Reads an open file from where it stands to its end. ERROR_SUCCESS, the
// system's error, ERROR_FILE_TOO_LARGE for a file longer than limit bytes,
// or ERROR_NOT_ENOUGH_MEMORY. A file that shrinks meanwhile ends where it
// ends.
DWORD ReadToEnd(HANDLE file, std::uint64_t limit, std::string* bytes);
DWORD ReadToEnd(HANDLE file, std::uint64_t limit, std::vector<std::uint8_t>* bytes);

// Opens path for reading (other programs may read and write it meanwhile)
// and reads it whole, as ReadToEnd does.
DWORD ReadWholeFile(const std::wstring& path, std::uint64_t limit, std::vector<std::uint8_t>* bytes);
