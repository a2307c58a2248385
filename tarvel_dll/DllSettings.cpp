#include "tarvel_dll/DllSettings.h"

#include <windows.h>

#include <cwchar>

namespace tarvel {
namespace {

constexpr wchar_t kFileName[] = L"Tarvel_DLL.ini";

HMODULE ThisModule() {
    HMODULE module = nullptr;
    // The address of a function inside this DLL names its module; the
    // reference count is left alone, so nothing needs releasing.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring ReadString(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    wchar_t text[256] = {};
    GetPrivateProfileStringW(section, key, L"", text, 256, path.c_str());
    return text;
}

}  // namespace

std::wstring DllSettingsPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(ThisModule(), &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return kFileName;
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return kFileName;
        path.resize(path.size() * 2);
    }
    std::wstring::size_type slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + kFileName;
}

DllSettings ReadDllSettings() {
    DllSettings s;
    const std::wstring path = DllSettingsPath();
    const std::wstring table = ReadString(path, L"Parts", L"Table");
    if (_wcsicmp(table.c_str(), L"empty") == 0) s.Table = TableVariant::Empty;
    if (_wcsicmp(table.c_str(), L"highbits") == 0) s.Table = TableVariant::HighBits;

    const std::wstring version = ReadString(path, L"Info", L"Version");
    if (!version.empty()) s.Version = static_cast<std::uint32_t>(std::wcstoul(version.c_str(), nullptr, 0));
    s.Edition = static_cast<std::int32_t>(GetPrivateProfileIntW(L"Info", L"Edition", 0, path.c_str()));
    return s;
}

}  // namespace tarvel
