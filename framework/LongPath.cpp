#include "framework/LongPath.h"

namespace paths {

namespace {
bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
}  // namespace

std::wstring LongForm(const std::wstring& path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    // "\\server\share...": the two leading backslashes give way to "UNC".
    // "\\?\" (already long) and "\\.\" (a device) start the same way.
    if (path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.' &&
        path[2] != L'\\')
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

std::wstring ForApi(const std::wstring& path) { return path.size() > kMaxPlainPath ? LongForm(path) : path; }

}  // namespace paths
