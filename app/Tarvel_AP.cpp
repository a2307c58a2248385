#include "app/Tarvel_AP.h"

#include "app/Tarvel_APDlg.h"
#include "isp/TarvelDll.h"

#include <commctrl.h>

#include <string>

CTarvel_APApp theApp;

CTarvel_APApp::CTarvel_APApp() { m_restartOnly = true; }

BOOL CTarvel_APApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    CWinApp::InitInstance();

    // Without the ISP library there is nothing the tool can do: say what is
    // missing and end cleanly instead of failing to start.
    std::wstring missing;
    if (!isp::Library().Load(isp::ModuleFolder(), &missing)) {
        const std::wstring text = L"The ISP library could not be used.\nMissing: " + missing;
        ::MessageBoxW(nullptr, text.c_str(), L"Tarvel", MB_OK | MB_ICONERROR);
        return FALSE;
    }

    CTarvel_APDlg dlg;
    m_hMainWnd = nullptr;
    dlg.DoModal();
    return FALSE;
}
