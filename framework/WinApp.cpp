#include "framework/WinApp.h"

#include "framework/Wnd.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }

CWinApp* AfxGetApp() { return g_app; }

BOOL CWinApp::InitInstance() {
    if (m_restartOnly) ::RegisterApplicationRestart(L"", 0);
    return TRUE;
}

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (WalkPreTranslateTree(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}
