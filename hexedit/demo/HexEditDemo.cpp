// hexedit_demo FILE: shows the bytes of FILE in one editable hex editor
// (white, as the tool shows an editable buffer). The window title begins with
// the file's name; the control has the id 1055, so that tests and people can
// drive it from outside. Nothing is written back to the file.
#include "framework/Dialog.h"
#include "framework/FileRead.h"
#include "framework/Handles.h"
#include "hexedit/HexEditBase.h"
#include "hexedit/demo/DemoResource.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

class CDemoDlg : public CDialogEx {
public:
    CDemoDlg(std::wstring name, std::vector<BYTE> bytes)
        : CDialogEx(IDD_HEXEDIT_DEMO), m_name(std::move(name)), m_bytes(std::move(bytes)) {}

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_DEMO_HEXEDIT, m_view); }

    BOOL OnInitDialog() override {
        CDialogEx::OnInitDialog();
        SetWindowText((m_name + L" - Hex view").c_str());
        const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
        m_view.ShowAddressColumn(true);
        m_view.SetAddressDigits(6);
        m_view.ShowTextColumn(true);
        m_view.SetBytesPerRow(16);
        m_view.SetAddressColors(black, white);
        m_view.SetTextColors(black, white);
        m_view.SetHexColors(black, white);
        m_view.SetBackgroundColor(white);
        m_view.SetReadOnly(false, true);
        if (!m_view.SetBuffer(m_bytes.data(), static_cast<DWORD>(m_bytes.size())))
            SetWindowText((m_name + L" - not enough memory").c_str());
        m_bytes.clear();
        m_bytes.shrink_to_fit();  // the control holds the one copy
        ::SetFocus(m_view.GetSafeHwnd());
        return FALSE;  // focus set here
    }

    void OnCancel() override { EndDialog(IDCANCEL); }

private:
    std::wstring m_name;
    std::vector<BYTE> m_bytes;
    CHexEditBase m_view;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 2) {
        ::MessageBoxW(nullptr, L"Usage: hexedit_demo FILE", L"Hex view", MB_OK | MB_ICONINFORMATION);
        if (argv) ::LocalFree(argv);
        return 2;
    }
    const std::wstring path = argv[1];
    ::LocalFree(argv);
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    std::vector<BYTE> bytes;
    if (ReadWholeFile(path, 0x7FFFFFFF, &bytes) != ERROR_SUCCESS) {
        ::MessageBoxW(nullptr, (L"Cannot read " + path).c_str(), L"Hex view", MB_OK | MB_ICONERROR);
        return 1;
    }
    CDemoDlg dialog(name, std::move(bytes));
    return dialog.DoModal() == -1 ? 1 : 0;
}
