// The start-up benchmark's peer: the tool's main window from the tool's own
// resources (manifest, template, fonts, icon, banner), and nothing behind it.
// Arguments add the tool's own start-up work one piece at a time, so that the
// benchmark can show where the tool's start goes beyond the bare window:
//   bare_dialog.exe [library] [pages] [ports]
//     library  loads Tarvel_DLL.dll from the exe's folder and reads its parts
//     pages    creates the Flash and EEPROM pages with their hex editors
//     ports    fills the port list by opening COM1..COM256
#include "app/Banner.h"
#include "app/PortPicker.h"
#include "buffers/TabPage.h"
#include "framework/Controls.h"
#include "framework/Dpi.h"
#include "isp/LibraryBinding.h"
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <memory>

namespace {
struct Steps {
    bool library = false;
    bool pages = false;
    bool ports = false;
};
Steps g_steps;

// What a step creates lives as long as the window.
struct Extras {
    Banner banner;
    CTabDlg_Flash flash;
    CTabDlg_EEPROM eeprom;
    CComboBox portList, baudRates, checkRates;
};
std::unique_ptr<Extras> g_extras;

INT_PTR CALLBACK BareProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: {
        const HINSTANCE inst = ::GetModuleHandleW(nullptr);
        ::SendMessageW(hwnd, WM_SETICON, ICON_BIG,
                       reinterpret_cast<LPARAM>(::LoadIconW(inst, MAKEINTRESOURCEW(IDR_MAINFRAME))));
        ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL,
                       reinterpret_cast<LPARAM>(::LoadImageW(inst, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                             ::GetSystemMetrics(SM_CXSMICON),
                                                             ::GetSystemMetrics(SM_CYSMICON), 0)));
        g_extras = std::make_unique<Extras>();
        g_extras->banner.Fit(::GetDlgItem(hwnd, IDC_BANNER), IDB_BANNER, dpi::ForWindow(hwnd));
        if (g_steps.library) {
            isp::LoadFailure failure;
            if (isp::Library().Load(isp::ModuleFolder(), &failure)) {
                isp::BodyInfo* table = nullptr;
                isp::Library().GetBodyInfo(&table);
            }
        }
        if (g_steps.pages) {
            const HWND tab = ::GetDlgItem(hwnd, IDC_TAB);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<wchar_t*>(L"Flash");
            ::SendMessageW(tab, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            g_extras->flash.Create(IDD_TAB_FLASH, tab);
            g_extras->eeprom.Create(IDD_TAB_EEPROM, tab);
            RECT rc;
            ::GetClientRect(tab, &rc);
            ::MoveWindow(g_extras->flash, rc.left + 10, rc.top + 30, rc.right - 20, rc.bottom - 40, TRUE);
            ::ShowWindow(g_extras->flash, SW_SHOW);
        }
        if (g_steps.ports) {
            g_extras->portList.SubclassDlgItem(IDC_PORT_LIST, hwnd);
            g_extras->baudRates.SubclassDlgItem(IDC_BAUDRATE_LIST, hwnd);
            g_extras->checkRates.SubclassDlgItem(IDC_CHECKRATE_LIST, hwnd);
            PortPicker(g_extras->portList, g_extras->baudRates, g_extras->checkRates).FillPorts();
        }
        return TRUE;
    }
    case WM_CLOSE: ::DestroyWindow(hwnd); return TRUE;
    case WM_DESTROY: ::PostQuitMessage(0); return TRUE;
    default: return FALSE;
    }
}
}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    // The words are plain, so looking for them in the command line will do
    // (and the bare window needs no shell library to split it).
    const wchar_t* commandLine = ::GetCommandLineW();
    g_steps.library = std::wcsstr(commandLine, L" library") != nullptr;
    g_steps.pages = std::wcsstr(commandLine, L" pages") != nullptr;
    g_steps.ports = std::wcsstr(commandLine, L" ports") != nullptr;

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    const HWND dialog = ::CreateDialogParamW(inst, MAKEINTRESOURCEW(IDD_TARVEL_AP_DIALOG), nullptr, BareProc, 0);
    if (!dialog) return 1;
    ::ShowWindow(dialog, SW_SHOW);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(dialog, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    g_extras.reset();
    return 0;
}
