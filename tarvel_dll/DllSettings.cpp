#include "tarvel_dll/DllSettings.h"

#include <windows.h>

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

// Names, keys and values the library takes are ASCII; anything else becomes
// '?', which no entry takes, so the entry is still reported.
std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return s;
}

// A list of strings as the profile functions return them: "a\0b\0\0".
// The buffer grows until the list fits (a list that did not fit comes back
// with its length two short of the buffer).
template <typename Fetch>
std::vector<std::wstring> StringList(Fetch fetch) {
    std::vector<wchar_t> buf(4096);
    for (;;) {
        const DWORD n = fetch(buf.data(), static_cast<DWORD>(buf.size()));
        if (n + 2 < buf.size() || buf.size() >= (1u << 20)) {
            std::vector<std::wstring> out;
            for (DWORD at = 0; at < n && buf[at] != 0;) {
                out.emplace_back(&buf[at]);
                at += static_cast<DWORD>(out.back().size()) + 1;
            }
            return out;
        }
        buf.resize(buf.size() * 2);
    }
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
    const std::wstring path = DllSettingsPath();
    std::vector<IniSection> file;
    // A section's lines come whole: "key=value", and a key without '=' as it
    // stands, which the key-by-key functions would not show.
    for (const std::wstring& name :
         StringList([&](wchar_t*buf, DWORD size) { return GetPrivateProfileSectionNamesW(buf, size, path.c_str()); })) {
        IniSection section;
        section.Name = Narrow(name);
        for (const std::wstring& line : StringList([&](wchar_t*buf, DWORD size) {
                 return GetPrivateProfileSectionW(name.c_str(), buf, size, path.c_str());
             })) {
            section.Lines.push_back(Narrow(line));
        }
        file.push_back(std::move(section));
    }
    return ParseDllSettings(file);
}

void ReportSettingsProblem(const SettingsProblem& problem) {
    std::wstring line(problem.Text.begin(), problem.Text.end());
    line += L"\n";
    OutputDebugStringW(line.c_str());
}

}  // namespace tarvel
