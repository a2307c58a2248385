#include "app/AppSettings.h"

#include "framework/SettingsFile.h"

namespace {
constexpr wchar_t kLanguage[] = L"Language";
constexpr wchar_t kLastPartNo[] = L"LastPartNo";
constexpr wchar_t kLoadFilePath[] = L"LoadFilePath";
// What a missing LoadFilePath reads as; it stands for no folder.
constexpr wchar_t kNoFolder[] = L"NULL";
}  // namespace

AppSettings LoadAppSettings(const std::wstring& exeFolder) {
    const SettingsFile file(exeFolder);
    AppSettings s;
    s.language = file.ReadInt(kLanguage, 0);
    s.lastPartNo = file.ReadInt(kLastPartNo, 0);
    const std::wstring folder = file.ReadString(kLoadFilePath, kNoFolder);
    if (folder != kNoFolder) s.loadFilePath = folder;
    return s;
}

void SaveAppSettings(HWND owner, const std::wstring& exeFolder, const AppSettings& settings, SavedKeys keys) {
    const SettingsFile file(exeFolder);
    bool saved = true;
    switch (keys) {
    case SavedKeys::Language: saved = file.WriteInt(kLanguage, settings.language); break;
    case SavedKeys::PartAndFolder: {
        const bool partSaved = file.WriteInt(kLastPartNo, settings.lastPartNo);
        const bool folderSaved = file.WriteString(kLoadFilePath, settings.loadFilePath);
        saved = partSaved && folderSaved;
        break;
    }
    }
    if (!saved) ReportSettingsNotSaved(owner, file, settings.language);
}
