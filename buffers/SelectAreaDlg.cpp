#include "buffers/SelectAreaDlg.h"

#include "image/InsertAddress.h"
#include "res/resource.h"
#include "text/UiText.h"

namespace {
bool IsHexDigitOrBackspace(WPARAM c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f') || c == L'\b';
}
}  // namespace

LRESULT CSelectAreaDlg::HexDigitEdit::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CHAR && !IsHexDigitOrBackspace(wp)) return 0;
    return CEdit::WindowProc(msg, wp, lp);
}

CSelectAreaDlg::CSelectAreaDlg(HWND owner, int language, std::uint32_t dataAddress)
    : CDialogEx(IDD_SELECT_AREA, owner), m_language(language), m_dataAddress(dataAddress) {}

void CSelectAreaDlg::DoDataExchange(CDataExchange* dx) {
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_ADDRESS_EDIT, m_address);
    DDX_Control(dx, IDC_AREA_AP, m_areaAp);
    DDX_Control(dx, IDC_AREA_IAP, m_areaIap);
    DDX_Control(dx, IDC_CLEAR_BUFFER, m_clearBuffer);
}

BOOL CSelectAreaDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SetWindowText(LangText(texts::kSelectInsertArea, m_language));
    struct {
        int id;
        texts::TextId text;
    } const captions[] = {
        {IDC_AREA_AP, texts::kAreaAp}, {IDC_AREA_IAP, texts::kAreaIap},      {IDOK, texts::kOk},
        {IDCANCEL, texts::kCancel},    {IDC_ADDRESS_LABEL, texts::kAddress}, {IDC_CLEAR_BUFFER, texts::kClearBuffer},
    };
    for (const auto& c : captions) SetDlgItemText(c.id, LangText(c.text, m_language));
    m_areaAp.SetCheck(true);
    m_address.SetWindowText(image::DataAddressText(m_dataAddress).c_str());
    m_address.EnableWindow(false);
    return TRUE;
}

bool CSelectAreaDlg::OnClicked(int id) {
    if (id != IDC_AREA_AP && id != IDC_AREA_IAP) return false;
    m_address.EnableWindow(m_areaIap.GetCheck());
    return true;
}

void CSelectAreaDlg::OnOK() {
    m_choice.InsertOffset = image::InsertOffsetOnOk(m_areaIap.GetCheck(), m_address.GetWindowText());
    m_choice.ClearFirst = m_clearBuffer.GetCheck() ? 1 : 0;
    EndDialog(IDOK);
}
