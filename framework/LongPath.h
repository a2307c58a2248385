// Paths of MAX_PATH characters or more. Window-free.
//
// The Win32 file functions take a plain path ("C:\dir\file") of at most 259
// characters (MAX_PATH with its terminating NUL). Past that they want the
// long form, "\\?\" in front of the absolute path, which the system passes on
// without parsing it and which reaches 32767 characters. Because it is not
// parsed, the long form must be absolute with backslashes only and no "." or
// ".." parts, as GetModuleFileName gives a path.
#pragma once

#include <cstddef>
#include <string>

namespace paths {

// The longest plain path, in characters.
constexpr std::size_t kMaxPlainPath = 259;

// The long form of an absolute path: "C:\a" becomes "\\?\C:\a" and the
// share path "\\server\share\a" becomes "\\?\UNC\server\share\a". A path
// already in the long form, a device path ("\\.\COM1") and a path that is not
// absolute come back unchanged.
std::wstring LongForm(const std::wstring& path);

// The path to hand to the file functions: the path itself while it fits the
// plain form, its long form past that.
std::wstring ForApi(const std::wstring& path);

}  // namespace paths
