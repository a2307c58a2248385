#include "update/StartupCheck.h"

#include "update/CheckRules.h"
#include "update/CheckSupport.h"

namespace update {

void StartupCheck::Start(HWND owner, const isp::TarvelDll& library, const std::wstring& exeFolder,
                         const std::int32_t& language) {
    const CheckSettings settings = ReadCheckSettings(exeFolder);
    if (!settings.updateTips) return;
    m_library = &library;
    m_language = &language;
    m_task.Start(owner, MakeRequest(settings, exeFolder, library),
                 [this, owner](const FetchResult& result) { OnDone(owner, result); });
}

void StartupCheck::OnDone(HWND owner, const FetchResult& result) {
    if (result.deleteError) ReportUndeletedFile(owner, result);
    if (result.status != FetchStatus::Read) return;
    if (!OfferAtStartup(result.info, AskLibrary(*m_library).version)) return;
    const std::wstring question = OutcomeText(Outcome::NewVersion, result.info.version, *m_language);
    if (::MessageBoxW(owner, question.c_str(), AboutCaption().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES)
        OpenWebPage(owner, result.info.url);
}

}  // namespace update
