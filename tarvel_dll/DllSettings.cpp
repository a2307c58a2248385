#include "tarvel_dll/DllSettings.h"

#include <windows.h>

#include <cwchar>
#include <vector>

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

// Keys and values of the adapter section are ASCII option names and numbers.
std::string Narrow(const std::wstring& w, bool lower) {
    std::string s;
    for (wchar_t c : w) {
        if (c >= 0x80) c = L'?';
        if (lower && c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        s.push_back(static_cast<char>(c));
    }
    return s;
}

std::wstring Trim(const std::wstring& s) {
    const std::wstring::size_type b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos) return std::wstring();
    const std::wstring::size_type e = s.find_last_not_of(L" \t");
    return s.substr(b, e - b + 1);
}

void ReadAdapter(const std::wstring& path, Scenario& s) {
    std::vector<wchar_t> buf(8192);
    const DWORD n = GetPrivateProfileSectionW(L"Adapter", buf.data(), static_cast<DWORD>(buf.size()), path.c_str());
    // The section comes as "key=value\0key=value\0\0".
    for (DWORD at = 0; at < n && buf[at] != 0;) {
        const std::wstring entry(&buf[at]);
        at += static_cast<DWORD>(entry.size()) + 1;
        const std::wstring::size_type eq = entry.find(L'=');
        if (eq == std::wstring::npos) continue;
        SetScenarioOption(s, Narrow(Trim(entry.substr(0, eq)), true), Narrow(Trim(entry.substr(eq + 1)), false),
                          nullptr);
    }
}

std::uint32_t ReadMs(const std::wstring& path, const wchar_t* key, std::uint32_t fallback) {
    const UINT v = GetPrivateProfileIntW(L"Link", key, static_cast<INT>(fallback), path.c_str());
    return v > 600000 ? fallback : v;
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

    ReadAdapter(path, s.Adapter);
    s.Timing.ReplyTimeoutMs = ReadMs(path, L"ReplyTimeoutMs", s.Timing.ReplyTimeoutMs);
    s.Timing.EraseTimeoutMs = ReadMs(path, L"EraseTimeoutMs", s.Timing.EraseTimeoutMs);
    s.Timing.SyncIntervalMs = std::max<std::uint32_t>(10, ReadMs(path, L"SyncIntervalMs", s.Timing.SyncIntervalMs));
    const UINT attempts = GetPrivateProfileIntW(L"Link", L"Attempts", s.Timing.Attempts, path.c_str());
    if (attempts >= 1 && attempts <= 10) s.Timing.Attempts = static_cast<int>(attempts);
    return s;
}

}  // namespace tarvel
