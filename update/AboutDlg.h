// The about box (dialog 100): the product and library version, the version
// check on demand (Check), the download page (Download) and the switch of the
// start-up check. It is given what it needs (the library, the program's
// folder, the texts' language) and keeps UpdateTips in Setting.ini itself.
#pragma once

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "update/CheckTask.h"

#include <cstdint>
#include <string>

namespace isp {
class TarvelDll;
}

class CAboutDlg : public CDialogEx {
public:
    // exeFolder: the program's folder with its trailing backslash; language:
    // 0 English, any other value Chinese.
    CAboutDlg(HWND parent, const isp::TarvelDll& library, std::wstring exeFolder, std::int32_t language);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnClicked(int id) override;
    void OnDestroy() override;

private:
    void OnCheck();
    void OnDownload();
    void OnUpdateTips();
    void OnCheckDone(const update::FetchResult& result);
    void ShowOutcome(update::Outcome outcome, const std::wstring& serverVersion = L"");

    const isp::TarvelDll& m_library;
    std::wstring m_exeFolder;
    std::int32_t m_language;
    std::wstring m_updateUrl;        // the page of the last check that got the file ("Fail": none)
    bool m_downloadEnabled = false;  // once a check found a new version

    CButton m_updateTips;
    update::CheckTask m_task;  // last: stopped and joined before the rest goes
};
