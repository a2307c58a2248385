// The port list ("KV707" and the COM ports that open) and the rate lists that
// follow the port kind and the part class.
#include "app/PartRules.h"
#include "app/RateTable.h"
#include "app/Tarvel_APDlg.h"
#include "framework/GdiObjects.h"
#include "res/resource.h"

#include <string>

void CTarvel_APDlg::FillPortList() {
    HWND ports = GetDlgItem(IDC_PORT_LIST);
    ::SendMessageW(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"KV707"));
    for (int n = 1; n <= 256; ++n) {
        const std::wstring name = L"COM" + std::to_wstring(n);
        // COM10 and up exist only under the device namespace name.
        const std::wstring device = n < 10 ? name : L"\\\\.\\" + name;
        UniqueHandle port(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (port.valid()) ::SendMessageW(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    ::SendMessageW(ports, CB_SETCURSEL, 0, 0);
    OnPortChanged();
}

void CTarvel_APDlg::OnPortChanged() {
    HWND baud = GetDlgItem(IDC_BAUDRATE_LIST);
    HWND check = GetDlgItem(IDC_CHECKRATE_LIST);
    ::SendMessageW(baud, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(check, CB_RESETCONTENT, 0, 0);

    const std::wstring port = GetDlgItemText(IDC_PORT_LIST);
    const isp::BodyInfo* body = SelectedBody();
    const int partClass = body ? body->PartClass : 0;
    const bool com = IsComPortName(port);
    for (const std::wstring& item : RateListItems(true, com, partClass))
        ::SendMessageW(baud, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    for (const std::wstring& item : RateListItems(false, com, partClass))
        ::SendMessageW(check, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    ::SendMessageW(baud, CB_SETCURSEL, 0, 0);
    ::SendMessageW(check, CB_SETCURSEL, 0, 0);
}
