#include "app/Tarvel_APDlg.h"

#include "app/LogFormat.h"
#include "app/SettingsFile.h"
#include "app/UiText.h"
#include "isp/TarvelDll.h"
#include "res/resource.h"
#include "update/VersionText.h"

#include <commctrl.h>

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
    MainIcon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                               IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
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
    DDX_Control(dx, IDC_LOG, LogEdit);
}

BOOL CTarvel_APDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();

    BuildSystemMenu();
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(MainIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(MainIcon));

    ExeFolder = isp::ModuleFolder();
    // The log must not lose appends once it outgrows the edit control's
    // default limit of about 32 K characters.
    LogEdit.SendMessage(EM_SETLIMITTEXT, 0, 0);

    CreateTabPages();
    BufferSlot[0].LoadState = image::LoadState::Empty;
    BufferSlot[1].LoadState = image::LoadState::Empty;

    BodyCount = isp::Library().GetBodyInfo(&BodyTable);
    if (BodyCount != 0 && BodyTable) {
        FamilyUnion = 0;
        for (std::uint32_t k = 0; k < BodyCount; ++k) FamilyUnion |= BodyTable[k].FamilyMask;
    } else {
        BodyCount = 0;
        BodyTable = nullptr;
        ::MessageBoxW(m_hWnd, L"Tarvel_DLL.dll reports no supported parts.\nNo part can be selected.",
                      L"Tarvel", MB_OK | MB_ICONWARNING);
    }
    FillFamilyList();

    const SettingsFile settings(ExeFolder);
    Language = settings.ReadInt(L"Language", 0);
    ApplyLanguage(Language);

    IspParam->PartIndex = settings.ReadInt(L"LastPartNo", 0);

    FillPortList();
    SelectLastPart();

    UpdateTips = settings.ReadInt(L"UpdateTips", 0);
    // The start-up version check (UpdateTips == 1) belongs to the update
    // subsystem and is not part of this build yet.

    const std::wstring folder = settings.ReadString(L"LoadFilePath", L"NULL", 256);
    if (folder != L"NULL") LastFolder = folder;

    EnableDlgItem(IDC_CLOSE_PORT, false);
    EnableDlgItem(IDC_DUMP_INFO, false);
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
    HWND tab = GetDlgItem(IDC_TAB);
    // Let the dialog manager's Tab key walk into the pages, which are
    // children of the tab control rather than of the dialog.
    ::SetWindowLongW(tab, GWL_EXSTYLE, ::GetWindowLongW(tab, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    RECT rc;
    ::GetClientRect(tab, &rc);
    rc.top += 30;
    rc.left += 10;
    rc.right -= 10;
    rc.bottom -= 10;

    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(L"Flash");
    TabCtrl_InsertItem(tab, 0, &item);
    FlashPage.Create(IDD_TAB_FLASH, tab);
    ::MoveWindow(FlashPage.m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    FlashPage.ShowWindow(SW_SHOW);

    item.pszText = const_cast<wchar_t*>(L"EEPROM");
    TabCtrl_InsertItem(tab, 1, &item);
    EepromPage.Create(IDD_TAB_EEPROM, tab);
    ::MoveWindow(EepromPage.m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    EepromPage.ShowWindow(SW_HIDE);
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
    case WM_SYSCOMMAND: OnSysCommand(static_cast<UINT>(wp), lp); return 0;
    case WM_PAINT:
        if (::IsIconic(m_hWnd)) {
            OnPaint();
            return 0;
        }
        break;
    case WM_QUERYDRAGICON: return reinterpret_cast<LRESULT>(MainIcon);
    case WM_ACTIVATE: OnActivate(LOWORD(wp)); return 0;
    }
    return CDialogEx::WindowProc(msg, wp, lp);
}

void CTarvel_APDlg::OnSysCommand(UINT id, LPARAM) {
    switch (id & 0xFFF0) {
    case kCmdAbout:
        // The about box and the version check belong to the update
        // subsystem, which this build does not include yet.
        break;
    case kCmdEnglish:
    case kCmdChinese: {
        Language = (id & 0xFFF0) == kCmdEnglish ? 0 : 1;
        SettingsFile(ExeFolder).WriteInt(L"Language", Language);
        ApplyLanguage(Language);
        break;
    }
    default: Default(); break;
    }
}

void CTarvel_APDlg::OnPaint() {
    // Minimized: draw the icon centred in the client area.
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cx = ::GetSystemMetrics(SM_CXICON);
    const int cy = ::GetSystemMetrics(SM_CYICON);
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    const int x = (rc.right - rc.left - cx + 1) / 2;
    const int y = (rc.bottom - rc.top - cy + 1) / 2;
    ::DrawIcon(dc, x, y, MainIcon);
    ::EndPaint(m_hWnd, &ps);
}

bool CTarvel_APDlg::CanReload(int tab) const {
    if (tab < 0 || tab > 1) return false;
    const image::LoadState ls = BufferSlot[tab].LoadState;
    return ls == image::LoadState::OneFile || ls == image::LoadState::MixedFile;
}

void CTarvel_APDlg::OnActivate(UINT state) {
    Default();
    const int tab = TabCtrl_GetCurSel(GetDlgItem(IDC_TAB));
    if (state != WA_ACTIVE && state != WA_CLICKACTIVE) return;
    if (AutoReload && CanReload(tab)) {
        Reloading = 1;
        LoadFileToBuffer();
        Reloading = 0;
    }
}

BOOL CTarvel_APDlg::OnCommand(WPARAM wp, LPARAM lp) {
    const int id = LOWORD(wp);
    const int code = HIWORD(wp);
    if (code == BN_CLICKED) {
        if ((id >= IDC_AUTO_RELOAD && id <= IDC_ENABLE_MODIFY) || id == IDC_RSTN_COLD_RESET) OnCheckBoxClicked(id);
        switch (id) {
        case IDC_LOAD_FILE: LoadFileToBuffer(); return TRUE;
        case IDC_OPEN_PORT: OnOpenPort(); return TRUE;
        case IDC_CLOSE_PORT: OnClosePort(); return TRUE;
        case IDC_UPDATE:
        case IDC_REPEAT_UPDATE: OnUpdate(id); return TRUE;
        case IDC_DUMP_INFO: OnDumpInfo(); return TRUE;
        case IDC_CLEAR_MESSAGE: OnClearMessage(); return TRUE;
        }
    }
    if (code == CBN_SELCHANGE) {
        switch (id) {
        case IDC_FAMILY_LIST: OnFamilyChanged(); return TRUE;
        case IDC_PART_LIST: OnPartChanged(); return TRUE;
        case IDC_PORT_LIST: OnPortChanged(); return TRUE;
        }
    }
    return CDialogEx::OnCommand(wp, lp);
}

void CTarvel_APDlg::OnCheckBoxClicked(int id) {
    const bool checked = SendDlgItemMessage(id, BM_GETCHECK) == BST_CHECKED;
    switch (id) {
    case IDC_AUTO_RELOAD:
        EnableDlgItem(IDC_ENABLE_MODIFY, !checked);
        AutoReload = checked ? 1 : 0;
        if (checked) {
            if (CanReload(TabCtrl_GetCurSel(GetDlgItem(IDC_TAB)))) {
                Reloading = 1;
                LoadFileToBuffer();
                Reloading = 0;
            }
        }
        break;
    case IDC_ERASE_BY_SIZE:
        IspParam->SetupFlags = static_cast<std::uint8_t>((IspParam->SetupFlags & ~1u) | (checked ? 1u : 0u));
        break;
    case IDC_RSTN_COLD_RESET:
        IspParam->SetupFlags = static_cast<std::uint8_t>((IspParam->SetupFlags & ~2u) | (checked ? 2u : 0u));
        break;
    case IDC_ENABLE_MODIFY: SetModifyEnabled(checked); break;
    default:
        if (id >= IDC_OPTION0 && id <= IDC_OPTION7) {
            const unsigned bit = 1u << (id - IDC_OPTION0);
            IspParam->OptionBits = static_cast<std::uint8_t>((IspParam->OptionBits & ~bit) | (checked ? bit : 0u));
        }
        break;
    }
}

void CTarvel_APDlg::SetModifyEnabled(bool editable) {
    FlashPage.SetEditable(editable);
    EepromPage.SetEditable(editable);
    EnableDlgItem(IDC_AUTO_RELOAD, !editable);
}

BOOL CTarvel_APDlg::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
    const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
    if (hdr->idFrom == IDC_TAB && hdr->code == TCN_SELCHANGE) {
        OnTabChanged();
        *result = 0;
        return TRUE;
    }
    return CDialogEx::OnNotify(wp, lp, result);
}

void CTarvel_APDlg::OnTabChanged() {
    TabPages[CurrentTab]->ShowWindow(SW_HIDE);
    const int sel = TabCtrl_GetCurSel(GetDlgItem(IDC_TAB));
    CurrentTab = (sel == 1) ? 1 : 0;
    TabPages[CurrentTab]->ShowWindow(SW_SHOW);
}

void CTarvel_APDlg::ShowTabPage(int tab) {
    CurrentTab = tab;
    TabCtrl_SetCurSel(GetDlgItem(IDC_TAB), tab);
    EepromPage.ShowWindow(SW_HIDE);
    FlashPage.ShowWindow(SW_HIDE);
    TabPages[tab]->ShowWindow(SW_SHOW);
}

void CTarvel_APDlg::OnOK() {}

void CTarvel_APDlg::OnCancel() {
    // Escape reaches here even while a job has disabled "Exit"; the tool must
    // not end under a running job.
    if (!::IsWindowEnabled(GetDlgItem(IDC_EXIT))) return;
    OnExit();
}

void CTarvel_APDlg::OnExit() {
    const SettingsFile settings(ExeFolder);
    settings.WriteInt(L"LastPartNo", IspParam->PartIndex);
    settings.WriteString(L"LoadFilePath", LastFolder);
    EndDialog(IDCANCEL);
}

// ---- Message log -----------------------------------------------------------

void CTarvel_APDlg::AppendLog(const wchar_t* text) {
    if (!text) {
        LogEdit.SetWindowText(L"");
        return;
    }
    const LRESULT n = LogEdit.SendMessage(WM_GETTEXTLENGTH);
    LogEdit.SendMessage(EM_SETSEL, static_cast<WPARAM>(n), n);
    LogEdit.SendMessage(EM_SCROLLCARET);
    LogEdit.SendMessage(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    LogEdit.SendMessage(WM_VSCROLL, SB_BOTTOM);
}

void CTarvel_APDlg::EraseLogTail(int count) {
    const LRESULT n = LogEdit.SendMessage(WM_GETTEXTLENGTH);
    const LRESULT from = n > count ? n - count : 0;
    LogEdit.SendMessage(EM_SETSEL, static_cast<WPARAM>(from), n);
    LogEdit.SendMessage(EM_SCROLLCARET);
    LogEdit.SendMessage(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    LogEdit.SendMessage(WM_VSCROLL, SB_BOTTOM);
}

void CTarvel_APDlg::LogHeading(int operationTextId) {
    AppendLog(logfmt::Heading(LogLineNo, LangText(operationTextId)));
    ++LogLineNo;
}

void CTarvel_APDlg::LogElapsed(std::uint32_t startTick) {
    AppendLog(logfmt::ElapsedTail(logfmt::ElapsedSeconds(startTick, ::GetTickCount())));
}

void CTarvel_APDlg::OnClearMessage() {
    AppendLog(nullptr);
    LogLineNo = 0;
}

// ---- Operations of the programming and loading subsystems --------------------
// Loading files, the port link and the programming jobs are built on top of
// this window in their own modules; until they are part of the build their
// buttons do nothing (and report nothing as done).

void CTarvel_APDlg::LoadFileToBuffer() {}
void CTarvel_APDlg::OnOpenPort() {}
void CTarvel_APDlg::OnClosePort() {}
void CTarvel_APDlg::OnUpdate(int) {}
void CTarvel_APDlg::OnDumpInfo() {}
