// What the about box and the start-up check share on the window side: the
// check's settings in Setting.ini, the request they make, opening the
// download page and the report of a version file that stayed behind.
#pragma once

#include "update/VersionFetch.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace isp {
class TarvelDll;
}

namespace update {

// Section "Setting" of Setting.ini: UpdateTips (1 = check at start-up),
// UpdateServer (scheme and host of the maker's server; the build's default
// when missing) and UpdateTimeoutMs (the bound of one check).
struct CheckSettings {
    bool updateTips = false;
    std::wstring server;
    int boundMs = kDefaultCheckBoundMs;
};
CheckSettings ReadCheckSettings(const std::wstring& exeFolder);
// Writes UpdateTips at once; a failed write is told to the user (once a run)
// in the window's language.
void WriteUpdateTips(HWND owner, const std::wstring& exeFolder, bool on, int language);

// A request for the library's edition, as the library reports it now.
FetchRequest MakeRequest(const CheckSettings& settings, const std::wstring& exeFolder, const isp::TarvelDll& library);

// The library's version and edition (GetDLLInfo).
struct LibraryInfo {
    std::uint32_t version = 0;
    std::int32_t edition = 0;
};
LibraryInfo AskLibrary(const isp::TarvelDll& library);

// Opens a web page in the user's browser; false (and nothing opened) for an
// address that is not a web page, or when the system could not open it.
bool OpenWebPage(HWND owner, const std::wstring& url);

// Says that the version file could not be deleted, with the system's reason.
void ReportUndeletedFile(HWND owner, const FetchResult& result);

}  // namespace update
