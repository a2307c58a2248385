#include "buffers/TabPage.h"

#include "res/resource.h"

namespace {

// Grey marks a read-only buffer, white an editable one.
const COLORREF kReadOnlyBack = RGB(200, 200, 200);
const COLORREF kEditableBack = RGB(255, 255, 255);
const COLORREF kTextColor = RGB(0, 0, 0);

void ApplyLook(CHexEditBase& editor, bool editable) {
    const COLORREF back = editable ? kEditableBack : kReadOnlyBack;
    editor.SetAddressColors(kTextColor, back);
    editor.SetTextColors(kTextColor, back);
    editor.SetHexColors(kTextColor, back);
    editor.SetBackgroundColor(back);
    editor.SetReadOnly(!editable, true);
}

}  // namespace

CBufferTabPage::CBufferTabPage(UINT templateId, const BoxIds& ids) : CDialogEx(templateId), m_ids(ids) {}

void CBufferTabPage::DoDataExchange(CDataExchange* dx) {
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_HEXEDIT, HexEdit);
}

BOOL CBufferTabPage::OnInitDialog() {
    CDialogEx::OnInitDialog();
    // The clipboard is used through the plain clipboard functions, which need
    // no OLE initialisation on this thread.
    HexEdit.ShowAddressColumn(true);
    HexEdit.SetAddressDigits(6);
    HexEdit.ShowTextColumn(true);
    HexEdit.SetBytesPerRow(16);
    ApplyLook(HexEdit, false);
    HexEdit.SetBuffer(nullptr, 0);
    // The page leaves the focus where it is. Given to the hex editor of a
    // page that is not shown yet, it would activate the main window before
    // its time (a slow round trip to the window system at start-up), only
    // for the main window to move it to its own first control.
    return FALSE;
}

bool CBufferTabPage::OnCommand(int id, int code) {
    // The editor tells its page of every change the user makes.
    if (id == IDC_HEXEDIT && code == EN_CHANGE) {
        if (m_edited) m_edited();
        return true;
    }
    return CDialogEx::OnCommand(id, code);
}

void CBufferTabPage::SetLabels(const wchar_t* sizeLabel, const wchar_t* sumLabel) {
    AfxSetWindowText(GetDlgItem(m_ids.sizeLabel), sizeLabel);
    AfxSetWindowText(GetDlgItem(m_ids.sumLabel), sumLabel);
}

void CBufferTabPage::SetBoxes(const wchar_t* path, const wchar_t* size, const wchar_t* sum) {
    AfxSetWindowText(GetDlgItem(m_ids.path), path);
    AfxSetWindowText(GetDlgItem(m_ids.size), size);
    AfxSetWindowText(GetDlgItem(m_ids.sum), sum);
}

void CBufferTabPage::ClearBoxes() { SetBoxes(L"", L"", L""); }

void CBufferTabPage::SetEditable(bool editable) { ApplyLook(HexEdit, editable); }

CTabDlg_Flash::CTabDlg_Flash()
    : CBufferTabPage(IDD_TAB_FLASH,
                     {IDC_FLASH_PATH, IDC_FLASH_SIZE_LABEL, IDC_FLASH_SIZE, IDC_FLASH_SUM_LABEL, IDC_FLASH_SUM}) {}

CTabDlg_EEPROM::CTabDlg_EEPROM()
    : CBufferTabPage(IDD_TAB_EEPROM,
                     {IDC_EEPROM_PATH, IDC_EEPROM_SIZE_LABEL, IDC_EEPROM_SIZE, IDC_EEPROM_SUM_LABEL, IDC_EEPROM_SUM}) {}
