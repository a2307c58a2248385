#include "update/AboutDlg.h"

#include "isp/LibraryBinding.h"
#include "res/resource.h"
#include "text/UiText.h"
#include "update/CheckRules.h"
#include "update/CheckSupport.h"

#include <utility>

CAboutDlg::CAboutDlg(HWND parent, const isp::TarvelDll& library, std::wstring exeFolder, std::int32_t language)
    : CDialogEx(IDD_ABOUTBOX, parent),
      m_library(library),
      m_exeFolder(std::move(exeFolder)),
      m_language(language),
      m_updateUrl(update::kMissingValue) {}

void CAboutDlg::DoDataExchange(CDataExchange* dx) {
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_ABOUT_UPDATE_TIPS, m_updateTips);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SetWindowText(update::AboutCaption().c_str());
    const update::LibraryInfo library = update::AskLibrary(m_library);
    SetDlgItemText(IDC_ABOUT_VERSION, update::AboutVersionLine(library.version).c_str());
    SetDlgItemText(IDC_ABOUT_NOTICE, update::AboutNoticeLine(m_language).c_str());
    SetDlgItemText(IDC_ABOUT_CHECK, LangText(texts::kCheck, m_language));
    SetDlgItemText(IDC_ABOUT_DOWNLOAD, LangText(texts::kDownload, m_language));
    SetDlgItemText(IDC_ABOUT_UPDATE_TIPS, LangText(texts::kShowUpdateMessage, m_language));
    EnableDlgItem(IDC_ABOUT_DOWNLOAD, false);
    m_updateTips.SetCheck(update::ReadCheckSettings(m_exeFolder).updateTips);
    return TRUE;
}

bool CAboutDlg::OnClicked(int id) {
    switch (id) {
    case IDC_ABOUT_CHECK: OnCheck(); return true;
    case IDC_ABOUT_DOWNLOAD: OnDownload(); return true;
    case IDC_ABOUT_UPDATE_TIPS: OnUpdateTips(); return true;
    }
    return false;
}

void CAboutDlg::OnDestroy() {
    // A check still running must not hand its result to a window that is gone.
    m_task.Stop();
    CDialogEx::OnDestroy();
}

void CAboutDlg::OnCheck() {
    const update::CheckSettings settings = update::ReadCheckSettings(m_exeFolder);
    const update::FetchRequest request = update::MakeRequest(settings, m_exeFolder, m_library);
    // Both buttons wait for the outcome; the box itself keeps answering
    // (moving, closing) while the file is fetched on another thread.
    if (::GetFocus() == GetDlgItem(IDC_ABOUT_CHECK))
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_updateTips.m_hWnd), TRUE);
    EnableDlgItem(IDC_ABOUT_CHECK, false);
    EnableDlgItem(IDC_ABOUT_DOWNLOAD, false);
    SetDlgItemText(IDC_ABOUT_MESSAGE, L"");
    if (!m_task.Start(m_hWnd, request, [this](const update::FetchResult& r) { OnCheckDone(r); })) {
        OnCheckDone(update::FetchResult{});
    }
}

void CAboutDlg::OnCheckDone(const update::FetchResult& result) {
    const update::LibraryInfo library = update::AskLibrary(m_library);
    const update::Outcome outcome = update::OutcomeOf(result, library.version);
    if (result.status == update::FetchStatus::Read) m_updateUrl = result.info.url;
    if (outcome == update::Outcome::NewVersion) m_downloadEnabled = true;
    ShowOutcome(outcome, result.info.version);
    EnableDlgItem(IDC_ABOUT_CHECK, true);
    EnableDlgItem(IDC_ABOUT_DOWNLOAD, m_downloadEnabled);
    if (result.deleteError) update::ReportUndeletedFile(m_hWnd, result);
}

void CAboutDlg::OnDownload() {
    // Only a web page goes to the browser: a local program, a share or any
    // other kind of address from the server is refused as bad server data.
    if (!update::IsWebPageUrl(m_updateUrl)) {
        ShowOutcome(update::Outcome::ServerInfoError);
        return;
    }
    update::OpenWebPage(m_hWnd, m_updateUrl);
}

void CAboutDlg::OnUpdateTips() {
    // Takes effect at the next start.
    update::WriteUpdateTips(m_hWnd, m_exeFolder, m_updateTips.GetCheck(), m_language);
}

void CAboutDlg::ShowOutcome(update::Outcome outcome, const std::wstring& serverVersion) {
    SetDlgItemText(IDC_ABOUT_MESSAGE, update::OutcomeText(outcome, serverVersion, m_language).c_str());
}
