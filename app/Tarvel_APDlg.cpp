#include "app/Tarvel_APDlg.h"

#include "app/SettingsFile.h"
#include "isp/PartRules.h"
#include "isp/TarvelDll.h"
#include "res/resource.h"
#include "text/LogFormat.h"
#include "text/UiText.h"
#include "update/AboutDlg.h"
#include "update/VersionText.h"

namespace {

// System menu commands. The system reserves the low four bits of a
// WM_SYSCOMMAND id, so ours are multiples of 16.
constexpr UINT kCmdAbout = 0x10;
constexpr UINT kCmdEnglish = 0x20;
constexpr UINT kCmdChinese = 0x30;

struct ControlText {
    int id;
    int text;
};

// Captions set from the text table.
using namespace texts;
constexpr ControlText kCaptions[] = {
    {IDC_GROUP_MCU_TYPE, kMcuType},          {IDC_GROUP_COM_PORT, kComPortSetting},
    {IDC_GROUP_DOWNLOAD_SETTING, kDownloadSetting}, {IDC_GROUP_MCU_OPTIONS, kMcuOptions},
    {IDC_GROUP_MESSAGE, kMessage},           {IDC_GROUP_CODE_BUFFER, kCodeBuffer},
    {IDC_AUTO_RELOAD, kAutoReloadCode},      {IDC_ERASE_BY_SIZE, kEraseByFileSize},
    {IDC_RSTN_COLD_RESET, kRstnColdReset},   {IDC_ENABLE_MODIFY, kEnableModifyBuffer},
    {IDC_UPDATE, kUpdateTarget},             {IDC_REPEAT_UPDATE, kRepeatUpdate},
    {IDC_DUMP_INFO, kDumpInfo},              {IDC_LOAD_FILE, kLoadFile},
    {IDC_ASSISTANT, kAssistant},             {IDC_CLEAR_MESSAGE, kClearMessage},
    {IDC_OPEN_PORT, kOpenPort},              {IDC_CLOSE_PORT, kClosePort},
    {IDC_EXIT, kExit},
};
// Labels read "%s : ".
constexpr ControlText kLabels[] = {
    {IDC_LABEL_PART_NO, kPartNo}, {IDC_LABEL_PORT_NO, kPortNo},
    {IDC_LABEL_BAUDRATE, kBaudrate}, {IDC_LABEL_CHECKRATE, kCheckrate},
};

std::wstring LabelText(const wchar_t* text) { return std::wstring(text) + L" : "; }

bool IsOptionBox(int id) { return id >= IDC_OPTION0 && id <= IDC_OPTION7; }

}  // namespace

CTarvel_APDlg::CTarvel_APDlg(HWND parent)
    : CDialogEx(IDD_TARVEL_AP_DIALOG, parent),
      IspParam(new isp::IspParam{}),
      m_statusCell(new isp::StatusWord(isp::kStatusWaitingForTarget)),
      m_stopCell(new isp::StopRequest(0)) {
    IspParam->PartIndex = -1;
    IspParam->OptionBits = 0;
    IspParam->SetupFlags = 0;
    IspParam->StatusCell = m_statusCell.get();
    IspParam->StopCell = m_stopCell.get();
    m_icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

CTarvel_APDlg::~CTarvel_APDlg() {
    // The record points at the two cells; release the cells first, then the
    // record, and make no library call on the way out.
    m_statusCell.reset();
    m_stopCell.reset();
    IspParam.reset();
}

const wchar_t* CTarvel_APDlg::LangText(const wchar_t* pair) const { return ::LangText(pair, Language); }

const wchar_t* CTarvel_APDlg::LangText(int textId) const {
    return ::LangText(static_cast<texts::TextId>(textId), Language);
}

const isp::BodyInfo* CTarvel_APDlg::SelectedBody() const {
    const std::int32_t k = IspParam->PartIndex;
    if (!BodyTable || k < 0 || static_cast<std::uint32_t>(k) >= BodyCount) return nullptr;
    return &BodyTable[k];
}

void CTarvel_APDlg::DoDataExchange(CDataExchange* dx) {
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_LOG, m_log);
    DDX_Control(dx, IDC_TAB, m_tab);
    DDX_Control(dx, IDC_FAMILY_LIST, m_familyList);
    DDX_Control(dx, IDC_PART_LIST, m_partList);
    DDX_Control(dx, IDC_PORT_LIST, m_portList);
    DDX_Control(dx, IDC_BAUDRATE_LIST, m_baudRateList);
    DDX_Control(dx, IDC_CHECKRATE_LIST, m_checkRateList);
}

BOOL CTarvel_APDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();

    BuildSystemMenu();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    m_exeFolder = isp::ModuleFolder();
    // The log must not lose appends once it outgrows the edit control's
    // default limit of about 32 K characters.
    m_log.SetLimitText(0);

    CreateTabPages();

    BodyCount = isp::Library().GetBodyInfo(&BodyTable);
    if (BodyCount == 0 || !BodyTable) {
        BodyCount = 0;
        BodyTable = nullptr;
        ::MessageBoxW(m_hWnd, L"Tarvel_DLL.dll reports no supported parts.\nNo part can be selected.", L"Tarvel",
                      MB_OK | MB_ICONWARNING);
    }
    m_partPicker.SetTable(BodyTable, BodyCount);
    if (BodyCount != 0) OnFamilyChanged();

    const SettingsFile settings(m_exeFolder);
    Language = settings.ReadInt(L"Language", 0);
    ApplyLanguage(Language);

    IspParam->PartIndex = settings.ReadInt(L"LastPartNo", 0);

    m_portPicker.FillPorts();
    OnPortChanged();
    SelectLastPart();

    const std::wstring folder = settings.ReadString(L"LoadFilePath", L"NULL", 256);
    if (folder != L"NULL") LastFolder = folder;

    EnableDlgItem(IDC_CLOSE_PORT, false);
    EnableDlgItem(IDC_DUMP_INFO, false);
    m_updateCheck.Start(m_hWnd, isp::Library(), m_exeFolder, Language);
    return TRUE;
}

void CTarvel_APDlg::BuildSystemMenu() {
    HMENU sys = ::GetSystemMenu(m_hWnd, FALSE);
    if (!sys) return;
    ::AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
    HMENU language = ::CreatePopupMenu();
    ::AppendMenuW(language, MF_STRING | MF_CHECKED, kCmdEnglish, L"English");
    ::AppendMenuW(language, MF_STRING | MF_UNCHECKED, kCmdChinese, L"\u7B80\u4F53\u4E2D\u6587");
    // The system menu takes ownership of the pop-up.
    ::InsertMenuW(sys, 8, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(language), L"Language");
    wchar_t about[128] = L"";
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0 && about[0]) {
        ::AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(sys, MF_STRING, kCmdAbout, about);
    }
}

void CTarvel_APDlg::CreateTabPages() {
    // Let the dialog manager's Tab key walk into the pages, which are
    // children of the tab control rather than of the dialog.
    ::SetWindowLongW(m_tab, GWL_EXSTYLE, ::GetWindowLongW(m_tab, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    RECT rc;
    ::GetClientRect(m_tab, &rc);
    rc.top += 30;
    rc.left += 10;
    rc.right -= 10;
    rc.bottom -= 10;

    m_tab.InsertItem(0, L"Flash");
    FlashPage.Create(IDD_TAB_FLASH, m_tab);
    EepromPage.Create(IDD_TAB_EEPROM, m_tab);
    SetEepromTab(true);
    for (CBufferTabPage* page : {static_cast<CBufferTabPage*>(&FlashPage), static_cast<CBufferTabPage*>(&EepromPage)})
        ::MoveWindow(*page, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    ShowTabPage(0);
}

void CTarvel_APDlg::SetEepromTab(bool present) {
    const int tabs = m_tab.GetItemCount();
    if (present && tabs == 1) m_tab.InsertItem(1, L"EEPROM");
    else if (!present && tabs == 2) m_tab.DeleteItem(1);
}

void CTarvel_APDlg::ApplyLanguage(int language) {
    if (HMENU sys = ::GetSystemMenu(m_hWnd, FALSE)) {
        if (language == 0 || language == 1) {
            ::CheckMenuItem(sys, kCmdEnglish, MF_BYCOMMAND | (language == 0 ? MF_CHECKED : MF_UNCHECKED));
            ::CheckMenuItem(sys, kCmdChinese, MF_BYCOMMAND | (language == 1 ? MF_CHECKED : MF_UNCHECKED));
        }
    }

    const std::wstring title = std::wstring(LangText(texts::kMakerName)) + L" " + LangText(texts::kProductName) + L" v" +
                               version::Dotted(isp::Library().Version());
    SetWindowText(title.c_str());

    for (const ControlText& c : kCaptions) SetDlgItemText(c.id, LangText(c.text));
    for (const ControlText& c : kLabels) SetDlgItemText(c.id, LabelText(LangText(c.text)).c_str());
    const std::wstring sizeLabel = LabelText(LangText(texts::kFileSize));
    const std::wstring sumLabel = LabelText(LangText(texts::kCheckSum));
    FlashPage.SetLabels(sizeLabel.c_str(), sumLabel.c_str());
    EepromPage.SetLabels(sizeLabel.c_str(), sumLabel.c_str());
}

LRESULT CTarvel_APDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        if (::IsIconic(m_hWnd)) {
            OnPaint();
            return 0;
        }
        break;
    case WM_QUERYDRAGICON: return reinterpret_cast<LRESULT>(m_icon);
    }
    return CDialogEx::WindowProc(msg, wp, lp);
}

bool CTarvel_APDlg::OnSysCommand(UINT command) {
    switch (command) {
    case kCmdAbout: CAboutDlg(m_hWnd, isp::Library(), m_exeFolder, Language).DoModal(); return true;
    case kCmdEnglish:
    case kCmdChinese:
        Language = command == kCmdEnglish ? 0 : 1;
        SettingsFile(m_exeFolder).WriteInt(L"Language", Language);
        ApplyLanguage(Language);
        return true;
    }
    return false;
}

void CTarvel_APDlg::OnPaint() {
    // Minimized: draw the icon centred in the client area.
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cx = ::GetSystemMetrics(SM_CXICON);
    const int cy = ::GetSystemMetrics(SM_CYICON);
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    const int x = (rc.right - rc.left - cx + 1) / 2;
    const int y = (rc.bottom - rc.top - cy + 1) / 2;
    ::DrawIcon(dc, x, y, m_icon);
    ::EndPaint(m_hWnd, &ps);
}

bool CTarvel_APDlg::CanReload(int tab) const {
    if (tab < 0 || tab > 1) return false;
    const image::LoadState ls = m_slots[tab].LoadState;
    return ls == image::LoadState::OneFile || ls == image::LoadState::MixedFile;
}

void CTarvel_APDlg::Reload() {
    if (!CanReload(m_tab.GetCurSel())) return;
    m_reloading = true;
    LoadFileToBuffer();
    m_reloading = false;
}

void CTarvel_APDlg::OnActivate(UINT state) {
    if ((state == WA_ACTIVE || state == WA_CLICKACTIVE) && AutoReload) Reload();
}

bool CTarvel_APDlg::OnCommand(int id, int code) {
    if (code == CBN_SELCHANGE) {
        switch (id) {
        case IDC_FAMILY_LIST: OnFamilyChanged(); return true;
        case IDC_PART_LIST: OnPartChanged(); return true;
        case IDC_PORT_LIST: OnPortChanged(); return true;
        }
    }
    return CDialogEx::OnCommand(id, code);
}

bool CTarvel_APDlg::OnClicked(int id) {
    switch (id) {
    case IDC_AUTO_RELOAD:
    case IDC_ERASE_BY_SIZE:
    case IDC_RSTN_COLD_RESET:
    case IDC_ENABLE_MODIFY: OnCheckBoxClicked(id); return true;
    case IDC_LOAD_FILE: LoadFileToBuffer(); return true;
    case IDC_CLEAR_MESSAGE: OnClearMessage(); return true;
    }
    if (IsOptionBox(id)) {
        OnCheckBoxClicked(id);
        return true;
    }
    return false;
}

void CTarvel_APDlg::OnCheckBoxClicked(int id) {
    const bool checked = SendDlgItemMessage(id, BM_GETCHECK) == BST_CHECKED;
    const auto setBit = [checked](std::uint8_t& bits, unsigned bit) {
        bits = static_cast<std::uint8_t>((bits & ~bit) | (checked ? bit : 0u));
    };
    switch (id) {
    case IDC_AUTO_RELOAD:
        EnableDlgItem(IDC_ENABLE_MODIFY, !checked);
        AutoReload = checked ? 1 : 0;
        if (checked) Reload();
        break;
    case IDC_ERASE_BY_SIZE: setBit(IspParam->SetupFlags, 1u); break;
    case IDC_RSTN_COLD_RESET: setBit(IspParam->SetupFlags, 2u); break;
    case IDC_ENABLE_MODIFY: SetModifyEnabled(checked); break;
    default:
        if (IsOptionBox(id)) setBit(IspParam->OptionBits, 1u << (id - IDC_OPTION0));
        break;
    }
}

void CTarvel_APDlg::SetModifyEnabled(bool editable) {
    FlashPage.SetEditable(editable);
    EepromPage.SetEditable(editable);
    EnableDlgItem(IDC_AUTO_RELOAD, !editable);
}

bool CTarvel_APDlg::OnNotify(const NMHDR& header, LRESULT* result) {
    if (header.idFrom == IDC_TAB && header.code == TCN_SELCHANGE) {
        OnTabChanged();
        *result = 0;
        return true;
    }
    return false;
}

void CTarvel_APDlg::OnTabChanged() {
    Page(CurrentTab).ShowWindow(SW_HIDE);
    CurrentTab = m_tab.GetCurSel() == 1 ? 1 : 0;
    Page(CurrentTab).ShowWindow(SW_SHOW);
}

void CTarvel_APDlg::ShowTabPage(int tab) {
    CurrentTab = tab;
    m_tab.SetCurSel(tab);
    EepromPage.ShowWindow(SW_HIDE);
    FlashPage.ShowWindow(SW_HIDE);
    Page(tab).ShowWindow(SW_SHOW);
}

void CTarvel_APDlg::OnOK() {}

void CTarvel_APDlg::OnCancel() {
    // Escape reaches here even while a job has disabled "Exit"; the tool must
    // not end under a running job.
    if (!IsDlgItemEnabled(IDC_EXIT)) return;
    OnExit();
}

void CTarvel_APDlg::OnExit() {
    const SettingsFile settings(m_exeFolder);
    settings.WriteInt(L"LastPartNo", IspParam->PartIndex);
    settings.WriteString(L"LoadFilePath", LastFolder);
    EndDialog(IDCANCEL);
}

// ---- Part selection ----------------------------------------------------------

void CTarvel_APDlg::OnFamilyChanged() {
    m_partPicker.ListPartsOfSelectedFamily();
    OnPartChanged();
}

void CTarvel_APDlg::OnPartChanged() {
    if (BodyCount == 0) return;

    // A family without a part of its own leaves the record where it was.
    const std::int32_t k = m_partPicker.SelectedPart();
    if (k >= 0) {
        const isp::BodyInfo* previous = SelectedBody();
        IspParam->PartIndex = k;
        if (!previous || previous->PartClass != BodyTable[k].PartClass) OnPortChanged();
    }

    const isp::BodyInfo* body = SelectedBody();
    const unsigned shown = body ? parts::VisibleOptions(*body) : 0;
    for (unsigned n = 0; n < 8; ++n) {
        const int id = IDC_OPTION0 + static_cast<int>(n);
        SetDlgItemText(id, body ? parts::OptionCaption(*body, n, Language) : L"");
        EnableDlgItem(id, n < shown);
        SendDlgItemMessage(id, BM_SETCHECK, BST_UNCHECKED);
    }
    if (body) SetEepromTab(body->DataCapacity != 0);

    FlashPage.HexEdit.SetBuffer(nullptr, 0);
    EepromPage.HexEdit.SetBuffer(nullptr, 0);
    ShowTabPage(0);

    for (image::BufferSlot& slot : m_slots) slot = image::SlotAfterPartChange();
    IspParam->OptionBits = 0;
    FlashPage.ClearBoxes();
    EepromPage.ClearBoxes();
    EnableDlgItem(IDC_UPDATE, false);
    EnableDlgItem(IDC_REPEAT_UPDATE, false);
    m_fileLoaded = 0;
}

bool CTarvel_APDlg::ShowPart(std::int32_t index) {
    m_partPicker.SelectFamilyOf(index);
    OnFamilyChanged();
    const bool shown = m_partPicker.SelectPart(index);
    OnPartChanged();
    return shown;
}

void CTarvel_APDlg::SelectLastPart() {
    if (BodyCount == 0) return;
    // A saved number that names no record starts on the first record.
    IspParam->PartIndex = parts::ValidPartIndex(IspParam->PartIndex, BodyCount);
    const isp::IspParam saved = *IspParam;
    if (ShowPart(saved.PartIndex)) {
        // The lists show the saved part: put the record back as it was read
        // (part number and option bits).
        *IspParam = saved;
        return;
    }
    // A part listed under no family (two family bits, or only bits without
    // a name) cannot be shown. Start on the first part the lists can show,
    // so that the lists and PartIndex never disagree; with none at all no
    // part is selected.
    const std::int32_t first = parts::FirstListedPart(BodyTable, BodyCount, m_partPicker.FamilyUnion());
    if (first >= 0) ShowPart(first);
    *IspParam = saved;
    IspParam->PartIndex = first;
}

void CTarvel_APDlg::OnPortChanged() {
    const isp::BodyInfo* body = SelectedBody();
    m_portPicker.FillRates(body ? body->PartClass : 0);
}

// ---- Message log -----------------------------------------------------------

void CTarvel_APDlg::AppendLog(const wchar_t* text) {
    if (!text) {
        m_log.SetWindowText(L"");
        return;
    }
    const int n = m_log.GetTextLength();
    m_log.SetSel(n, n);
    m_log.ScrollCaret();
    m_log.ReplaceSel(text);
    m_log.ScrollToEnd();
}

void CTarvel_APDlg::EraseLogTail(int count) {
    const int n = m_log.GetTextLength();
    m_log.SetSel(n > count ? n - count : 0, n);
    m_log.ScrollCaret();
    m_log.ReplaceSel(L"");
    m_log.ScrollToEnd();
}

void CTarvel_APDlg::LogHeading(int operationTextId) {
    AppendLog(logfmt::Heading(m_logLineNo, LangText(operationTextId)));
    ++m_logLineNo;
}

void CTarvel_APDlg::LogElapsed(std::uint32_t startTick) {
    AppendLog(logfmt::ElapsedTail(logfmt::ElapsedSeconds(startTick, ::GetTickCount())));
}

void CTarvel_APDlg::OnClearMessage() {
    AppendLog(nullptr);
    m_logLineNo = 0;
}

void CTarvel_APDlg::LoadFileToBuffer() {}
