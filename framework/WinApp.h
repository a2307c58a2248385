// The application object: one static instance of a class derived from
// CWinApp; wWinMain (framework/WinMain.cpp) calls its InitInstance.
#pragma once

#include <windows.h>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns FALSE to end the process at once (after ExitInstance), TRUE to
    // run the message loop.
    virtual BOOL InitInstance();
    virtual int ExitInstance() { return 0; }
    int Run();

    HINSTANCE m_hInstance = nullptr;
    HWND m_hMainWnd = nullptr;
    // Restart manager: register for a restart after a crash or an update
    // (restart only; there are no documents to recover).
    bool m_restartOnly = false;
};

CWinApp* AfxGetApp();
