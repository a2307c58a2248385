// Stands in for the browser in the tests: registered as the open command of
// the http and https protocols in the test's own Wine prefix, it writes the
// address it was given (argument 2) to a file (argument 1), as UTF-8. The
// file appears complete or not at all.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring out = argv[1];
    const std::wstring part = out + L".part";
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, utf8.data(), n, nullptr, nullptr);
    HANDLE f = ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(f);
    if (!ok || !::MoveFileExW(part.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING)) return 1;
    return 0;
}
