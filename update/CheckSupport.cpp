#include "update/CheckSupport.h"

#include "framework/SettingsFile.h"
#include "framework/SystemText.h"
#include "isp/LibraryBinding.h"

#include <shellapi.h>

#ifndef TARVEL_UPDATE_SERVER
#define TARVEL_UPDATE_SERVER "https://www.tessaro.example"
#endif

namespace update {

namespace {
// The server the build asks unless Setting.ini names another.
constexpr wchar_t kDefaultServer[] = L"" TARVEL_UPDATE_SERVER;
}  // namespace

CheckSettings ReadCheckSettings(const std::wstring& exeFolder) {
    const SettingsFile file(exeFolder);
    CheckSettings s;
    s.updateTips = file.ReadInt(L"UpdateTips", 0) == 1;
    s.server = file.ReadString(L"UpdateServer", kDefaultServer);
    s.boundMs = CheckBoundMs(file.ReadInt(L"UpdateTimeoutMs", 0));
    return s;
}

void WriteUpdateTips(HWND owner, const std::wstring& exeFolder, bool on, int language) {
    const SettingsFile file(exeFolder);
    if (!file.WriteInt(L"UpdateTips", on ? 1 : 0)) ReportSettingsNotSaved(owner, file, language);
}

LibraryInfo AskLibrary(const isp::TarvelDll& library) {
    LibraryInfo info;
    if (library.IsLoaded()) library.GetDLLInfo(&info.version, &info.edition);
    return info;
}

FetchRequest MakeRequest(const CheckSettings& settings, const std::wstring& exeFolder, const isp::TarvelDll& library) {
    FetchRequest request;
    request.url = VersionFileUrl(settings.server);
    request.exeFolder = exeFolder;
    request.edition = AskLibrary(library).edition;
    request.boundMs = static_cast<DWORD>(settings.boundMs);
    return request;
}

bool OpenWebPage(HWND owner, const std::wstring& url) {
    if (!IsWebPageUrl(url)) return false;
    const HINSTANCE r = ::ShellExecuteW(owner, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

void ReportUndeletedFile(HWND owner, const FetchResult& result) {
    std::wstring reason = SystemMessageLine(result.deleteError);
    if (reason.empty()) reason = L"System error " + std::to_wstring(result.deleteError) + L".";
    const std::wstring message = L"The version file could not be deleted:\n" + result.filePath + L"\n\n" + reason;
    ::MessageBoxW(owner, message.c_str(), L"Tarvel", MB_OK | MB_ICONWARNING);
}

}  // namespace update
