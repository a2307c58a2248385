// Entry point of a program built on the framework (linked into executables
// only, so that test programs keep their own main).
#include "framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) return 1;
    app->m_hInstance = instance;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
