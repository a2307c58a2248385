// Project files on the disk: opening one (read, checked field by field),
// checking that its firmware files still hold what they held when it was
// saved, saving one in one step, and the password of a locked project
// (salted PBKDF2-HMAC-SHA256 through the system's cryptography API). The
// window and the console programmer both go through these.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "project/Project.h"

namespace project {

struct OpenedProject {
    bool ok = false;
    std::wstring error;  // why not, in English: the file, or the field that is wrong
    Project project;
    std::wstring path;    // the project file's full path
    std::wstring folder;  // its folder, with a trailing '\'
    std::string sha256;   // of the file's bytes, 64 lower-case hexadecimal digits
};

// The full path of a path relative to the current folder; the folder of a
// full path, with its trailing '\'; a file's name without its extension
// (the name a project takes by default).
std::wstring FullPath(const std::wstring& path);
std::wstring FolderOf(const std::wstring& fullPath);
std::wstring NameWithoutExtension(const std::wstring& fullPath);

// Reads the project file at path. A project without a name takes the file's
// name without its extension.
OpenedProject OpenProjectFile(const std::wstring& path);

// The size and CRC-32 of a file's bytes, as a project stores them.
DWORD MeasureFile(const std::wstring& path, std::uint64_t* size, std::uint32_t* crc);

// The first firmware file of a project that is not what it was.
struct FileProblem {
    enum Kind { kNone, kMissing, kUnreadable, kChanged };
    Kind kind = kNone;
    std::wstring name;  // the file's name ("app.hex")
    std::wstring path;  // its full path
    DWORD error = 0;    // kUnreadable: the system's error
};
FileProblem CheckProjectFiles(const std::wstring& folder, const Project& project);
// "app.hex has changed since the project was saved", "app.hex is missing
// (C:\...\app.hex)", "app.hex cannot be read (...)".
std::wstring DescribeFileProblem(const FileProblem& problem);

// Writes the project as the whole new content of path, through a temporary
// file, so that a failed write leaves the old file as it was.
DWORD SaveProjectFile(const std::wstring& path, const Project& project);

// The SHA-256 of bytes as 64 lower-case hexadecimal digits; empty when the
// system's cryptography refuses.
std::string Sha256Hex(const std::uint8_t* bytes, std::size_t count);

// PBKDF2-HMAC-SHA256 of a password (UTF-8) into 32 bytes; false when the
// system's cryptography refuses.
bool Pbkdf2Sha256(const std::string& password, const std::vector<std::uint8_t>& salt, std::uint32_t iterations,
                  std::vector<std::uint8_t>* key);
// A lock for the password: a fresh random salt and the hash.
bool MakeLock(const std::string& password, Lock* lock);
// Whether the password opens the lock.
bool PasswordOpensLock(const std::string& password, const Lock& lock);

}  // namespace project
