#include "app/Tarvel_AP.h"

#include "app/DropTarget.h"
#include "app/Tarvel_APDlg.h"
#include "framework/SettingsFile.h"
#include "framework/SystemText.h"
#include "isp/LibraryBinding.h"
#include "text/UiText.h"

#include <commctrl.h>

#include <string>

CTarvel_APApp theApp;

namespace {
// A missing file is "missing"; a file the loader refuses is said to be there,
// with the loader's reason (a 64-bit library, a file that is no library at
// all, a library whose own dependency is missing).
std::wstring LibraryFailureText(const isp::LoadFailure& failure, int language) {
    std::wstring text = std::wstring(LangText(texts::kLibraryUnusable, language)) + L"\n";
    switch (failure.kind) {
    case isp::LoadFailure::kNotLoadable:
        return text + LangText(texts::kLibraryNotLoadable, language) + L"\n" + failure.path + L"\n\n" +
               SystemErrorText(failure.systemError, L"Tarvel_DLL.dll");
    case isp::LoadFailure::kOperationsMissing:
        return text + LangText(texts::kLibraryMissing, language) + L"Tarvel_DLL.dll: " + failure.operations;
    default: return text + LangText(texts::kLibraryMissing, language) + failure.path;
    }
}
}  // namespace

CTarvel_APApp::CTarvel_APApp() { m_restartOnly = true; }

BOOL CTarvel_APApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    CWinApp::InitInstance();

    // Without the ISP library there is nothing the tool can do: say why and
    // end cleanly instead of failing to start.
    const std::wstring folder = isp::ModuleFolder();
    isp::LoadFailure failure;
    if (!isp::Library().Load(folder, &failure)) {
        const std::wstring text = LibraryFailureText(failure, SettingsFile(folder).ReadInt(L"Language", 0));
        ::MessageBoxW(nullptr, text.c_str(), L"Tarvel", MB_OK | MB_ICONERROR);
        return FALSE;
    }

    CTarvel_APDlg dlg;
    dlg.OpenAtStart(drop::CommandLineFiles(::GetCommandLineW()));
    m_hMainWnd = nullptr;
    dlg.DoModal();
    return FALSE;
}
