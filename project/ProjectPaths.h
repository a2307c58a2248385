// Paths in a project file. A file in the project's folder or below it is
// stored relative to the folder ('/' between folders), so that the folder can
// be copied to another station as it is; any other file by its absolute
// path. A file the tool writes (a serial state file, a log) must lie in the
// folder or below it, whatever the project says. Windows path rules, but
// window-free.
#pragma once

#include <string>

namespace project {

// A drive ("C:\", "C:/", or the drive-relative "C:x"), a root ("\x") or a
// network path ("\\server\share").
bool IsAbsolutePath(const std::wstring& path);

// The form a file's full path is stored in, for a project in folder (a full
// path too).
std::wstring StoredPath(const std::wstring& folder, const std::wstring& fullPath);

// The full path a stored form names ('\' between folders).
std::wstring ResolvedPath(const std::wstring& folder, const std::wstring& stored);

// Empty when stored may name a file the tool writes: a relative path that
// stays in the folder (no "." or ".." part, no drive, no stream, no device
// name such as NUL or COM3, no character Windows refuses in a name);
// otherwise why not.
std::string WritePathProblem(const std::wstring& stored);

// The last part of a stored path ("app.hex" of "fw/app.hex"), for messages.
std::wstring FileNameOf(const std::wstring& stored);

}  // namespace project
