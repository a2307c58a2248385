#include "app/Tarvel_APDlg.h"

#include "app/AppSettings.h"
#include "app/DropTarget.h"

#include "framework/Dpi.h"
#include "image/Crc32.h"
#include "isp/LibraryBinding.h"
#include "isp/PartRules.h"
#include "res/resource.h"
#include "run/ProductionText.h"
#include "run/Station.h"
#include "text/UiText.h"
#include "text/Utf8.h"
#include "update/AboutDlg.h"
#include "update/VersionText.h"

#include <iterator>

namespace {

// Posted to itself at start-up: the command line's files load once the
// window is shown and its message loop runs.
constexpr UINT kMsgOpenStartFiles = WM_APP + 0x18;
// Lists the COM ports just after the start (OnKickIdle).
constexpr UINT_PTR kTimerComPorts = 1;
// Posted to itself on a change of dpi, so that its pixel layout is redone
// after the dialog manager has scaled the controls.
constexpr UINT kMsgAfterDpiChange = WM_APP + 0x19;

struct ControlText {
    int id;
    int text;
};

// The project items of the system menu, after the Save As items.
struct ProjectMenuItem {
    UINT position;
    UINT command;
    int text;
};
constexpr ProjectMenuItem kProjectMenu[] = {
    {11, IDM_OPEN_PROJECT, texts::kOpenProjectMenu},
    {12, IDM_SAVE_PROJECT, texts::kSaveProjectAsMenu},
    {13, IDM_UNLOCK_PROJECT, texts::kUnlockProjectMenu},
};

// System menu items that Wine sends as WM_COMMAND rather than WM_SYSCOMMAND.
bool IsSystemMenuCommand(int id) {
    switch (id) {
    case IDM_LANGUAGE_ENGLISH:
    case IDM_LANGUAGE_CHINESE:
    case IDM_OPEN_PROJECT:
    case IDM_SAVE_PROJECT:
    case IDM_UNLOCK_PROJECT:
    case IDM_PRODUCTION_VIEW: return true;
    }
    return false;
}

// Captions set from the text table.
using namespace texts;
constexpr ControlText kCaptions[] = {
    {IDC_GROUP_MCU_TYPE, kMcuType},
    {IDC_GROUP_COM_PORT, kComPortSetting},
    {IDC_GROUP_DOWNLOAD_SETTING, kDownloadSetting},
    {IDC_GROUP_MCU_OPTIONS, kMcuOptions},
    {IDC_GROUP_MESSAGE, kMessage},
    {IDC_GROUP_CODE_BUFFER, kCodeBuffer},
    {IDC_AUTO_RELOAD, kAutoReloadCode},
    {IDC_ERASE_BY_SIZE, kEraseByFileSize},
    {IDC_RSTN_COLD_RESET, kRstnColdReset},
    {IDC_ENABLE_MODIFY, kEnableModifyBuffer},
    {IDC_UPDATE, kUpdateTarget},
    {IDC_REPEAT_UPDATE, kRepeatUpdate},
    {IDC_DUMP_INFO, kDumpInfo},
    {IDC_LOAD_FILE, kLoadFile},
    {IDC_ASSISTANT, kAssistant},
    {IDC_CLEAR_MESSAGE, kClearMessage},
    {IDC_OPEN_PORT, kOpenPort},
    {IDC_CLOSE_PORT, kClosePort},
    {IDC_EXIT, kExit},
};
// Labels read "%s : ".
constexpr ControlText kLabels[] = {
    {IDC_LABEL_PART_NO, kPartNo},
    {IDC_LABEL_PORT_NO, kPortNo},
    {IDC_LABEL_BAUDRATE, kBaudrate},
    {IDC_LABEL_CHECKRATE, kCheckrate},
};

std::wstring LabelText(const wchar_t* text) { return std::wstring(text) + L" : "; }

bool IsOptionBox(int id) { return id >= IDC_OPTION0 && id <= IDC_OPTION7; }

// The controls whose enable state controls::StatesFor decides.
struct ControlId {
    controls::Control control;
    int id;
};
constexpr ControlId kControlIds[] = {
    {controls::Control::FamilyList, IDC_FAMILY_LIST},
    {controls::Control::PartList, IDC_PART_LIST},
    {controls::Control::PortList, IDC_PORT_LIST},
    {controls::Control::BaudRateList, IDC_BAUDRATE_LIST},
    {controls::Control::CheckRateList, IDC_CHECKRATE_LIST},
    {controls::Control::OpenPort, IDC_OPEN_PORT},
    {controls::Control::ClosePort, IDC_CLOSE_PORT},
    {controls::Control::LoadFile, IDC_LOAD_FILE},
    {controls::Control::UpdateTarget, IDC_UPDATE},
    {controls::Control::RepeatUpdate, IDC_REPEAT_UPDATE},
    {controls::Control::DumpInfo, IDC_DUMP_INFO},
    {controls::Control::ClearMessage, IDC_CLEAR_MESSAGE},
    {controls::Control::Assistant, IDC_ASSISTANT},
    {controls::Control::Exit, IDC_EXIT},
    {controls::Control::AutoReload, IDC_AUTO_RELOAD},
    {controls::Control::EraseBySize, IDC_ERASE_BY_SIZE},
    {controls::Control::RstnColdReset, IDC_RSTN_COLD_RESET},
    {controls::Control::EnableModify, IDC_ENABLE_MODIFY},
    {controls::OptionBox(0), IDC_OPTION0},
    {controls::OptionBox(1), IDC_OPTION1},
    {controls::OptionBox(2), IDC_OPTION2},
    {controls::OptionBox(3), IDC_OPTION3},
    {controls::OptionBox(4), IDC_OPTION4},
    {controls::OptionBox(5), IDC_OPTION5},
    {controls::OptionBox(6), IDC_OPTION6},
    {controls::OptionBox(7), IDC_OPTION7},
};
static_assert(std::size(kControlIds) == controls::kControlCount, "every control the rule decides has its id");

}  // namespace

CTarvel_APDlg::CTarvel_APDlg(HWND parent)
    : CDialogEx(IDD_TARVEL_AP_DIALOG, parent),
      IspParam(new isp::IspParam{}),
      m_statusCell(new isp::StatusWord(isp::kStatusWaitingForTarget)),
      m_stopCell(new isp::StopRequest(0)),
      m_port(isp::Library()),
      m_jobs(isp::Library(), *IspParam, *this) {
    IspParam->PartIndex = -1;
    IspParam->OptionBits = 0;
    IspParam->SetupFlags = 0;
    IspParam->StatusCell = m_statusCell.get();
    IspParam->StopCell = m_stopCell.get();
    m_icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             0, 0, LR_DEFAULTSIZE | LR_SHARED));
    // The small one in its own size: the icon holds it for every common
    // scale, where a shrunk large icon would blur.
    m_smallIcon =
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (!m_smallIcon) m_smallIcon = m_icon;
}

CTarvel_APDlg::~CTarvel_APDlg() {
    // A job still inside the library uses the record and its cells.
    m_jobs.StopAndWait();
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
    DDX_Control(dx, IDC_LOG, Log.Edit());
    DDX_Control(dx, IDC_TAB, m_tab);
    DDX_Control(dx, IDC_FAMILY_LIST, m_familyList);
    DDX_Control(dx, IDC_PART_LIST, m_partList);
    DDX_Control(dx, IDC_PORT_LIST, m_portList);
    DDX_Control(dx, IDC_BAUDRATE_LIST, m_baudRateList);
    DDX_Control(dx, IDC_CHECKRATE_LIST, m_checkRateList);
    DDX_Control(dx, IDC_PROGRESS, m_progress);
}

BOOL CTarvel_APDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();

    BuildSystemMenu();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));

    m_exeFolder = isp::ModuleFolder();
    m_loader.SetOwner(m_hWnd);
    m_saver.SetOwner(m_hWnd);
    m_progress.SetRange(0, 100);
    // The log must not lose appends once it outgrows the edit control's
    // default limit of about 32 K characters.
    Log.Edit().SetLimitText(0);

    CreateTabPages();

    BodyCount = isp::Library().GetBodyInfo(&BodyTable);
    if (BodyCount == 0 || !BodyTable) {
        BodyCount = 0;
        BodyTable = nullptr;
        ::MessageBoxW(m_hWnd, L"Tarvel_DLL.dll reports no supported parts.\nNo part can be selected.", L"Tarvel",
                      MB_OK | MB_ICONWARNING);
    }
    m_partPicker.SetTable(BodyTable, BodyCount);
    m_facts.partsListed = BodyCount != 0;

    const AppSettings settings = LoadAppSettings(m_exeFolder);
    Language = settings.language;
    ApplyLanguage(Language);

    IspParam->PartIndex = settings.lastPartNo;

    // Trying 256 COM port names takes a good part of the start, and nothing
    // shows the ports before the list is opened: they are added just after
    // the window is painted and ready (or when the list is opened before
    // that). "KV707" is the port selected either way.
    m_portPicker.ListAdapter();
    m_comPortsPending = true;
    SelectLastPart();
    // The rate lists follow the part the lists start on (or no part).
    OnPortChanged();

    LastFolder = settings.loadFilePath;

    ApplyControlStates();
    m_updateCheck.Start(m_hWnd, isp::Library(), m_exeFolder, Language);
    ::DragAcceptFiles(m_hWnd, TRUE);
    if (!m_startFiles.empty()) ::PostMessageW(m_hWnd, kMsgOpenStartFiles, 0, 0);
    return TRUE;
}

void CTarvel_APDlg::BuildSystemMenu() {
    HMENU sys = ::GetSystemMenu(m_hWnd, FALSE);
    if (!sys) return;
    ::AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
    HMENU language = ::CreatePopupMenu();
    ::AppendMenuW(language, MF_STRING | MF_CHECKED, IDM_LANGUAGE_ENGLISH, L"English");
    ::AppendMenuW(language, MF_STRING | MF_UNCHECKED, IDM_LANGUAGE_CHINESE, L"\u7B80\u4F53\u4E2D\u6587");
    // The system menu takes ownership of the pop-up.
    ::InsertMenuW(sys, 8, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(language), L"Language");
    // Captions follow the language (ApplyLanguage).
    ::InsertMenuW(sys, 9, MF_BYPOSITION | MF_STRING, IDM_SAVE_FLASH, LangText(texts::kSaveFlashBufferAs));
    ::InsertMenuW(sys, 10, MF_BYPOSITION | MF_STRING, IDM_SAVE_EEPROM, LangText(texts::kSaveEepromBufferAs));
    // Project files after Save As; their states follow the control rule
    // (ApplyControlStates).
    for (const ProjectMenuItem& item : kProjectMenu)
        ::InsertMenuW(sys, item.position, MF_BYPOSITION | MF_STRING, item.command, LangText(item.text));
    ::InsertMenuW(sys, kProjectMenu[std::size(kProjectMenu) - 1].position + 1, MF_BYPOSITION | MF_STRING,
                  IDM_PRODUCTION_VIEW, run::ViewTextOf(run::ViewText::Menu, Language));
    wchar_t about[128] = L"";
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0 && about[0]) {
        ::AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(sys, MF_STRING, IDM_ABOUTBOX, about);
    }
}

void CTarvel_APDlg::UpdateTitle() {
    std::wstring title = std::wstring(LangText(texts::kMakerName)) + L" " + LangText(texts::kProductName) + L" v" +
                         version::Dotted(isp::Library().Version());
    if (m_project) title = setup::ProjectTitle(title, m_project->project.name, m_project->project.flashImage.crc32);
    SetWindowText(title.c_str());
}

void CTarvel_APDlg::CreateTabPages() {
    // Let the dialog manager's Tab key walk into the pages, which are
    // children of the tab control rather than of the dialog.
    ::SetWindowLongW(m_tab, GWL_EXSTYLE, ::GetWindowLongW(m_tab, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    m_tab.InsertItem(0, L"Flash");
    FlashPage.Create(IDD_TAB_FLASH, m_tab);
    EepromPage.Create(IDD_TAB_EEPROM, m_tab);
    for (CodeBuffer buffer : {CodeBuffer::Flash, CodeBuffer::Eeprom}) {
        Page(buffer).OnEditedByHand([this, buffer] {
            History(buffer).editedByHand = true;
            EndProject();
        });
    }
    SetEepromTab(true);
    LayoutForDpi();
    ShowTabPage(CodeBuffer::Flash);
}

void CTarvel_APDlg::LayoutForDpi() {
    // The insets were chosen in pixels at 96 dpi.
    const int dpi = dpi::ForWindow(m_hWnd);
    RECT rc;
    ::GetClientRect(m_tab, &rc);
    rc.top += dpi::Scale(30, dpi);
    rc.left += dpi::Scale(10, dpi);
    rc.right -= dpi::Scale(10, dpi);
    rc.bottom -= dpi::Scale(10, dpi);
    for (CBufferTabPage* page : {static_cast<CBufferTabPage*>(&FlashPage), static_cast<CBufferTabPage*>(&EepromPage)})
        ::MoveWindow(*page, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    m_banner.Fit(GetDlgItem(IDC_BANNER), IDB_BANNER, dpi);
}

void CTarvel_APDlg::OnDpiChanged(const RECT& suggested) {
    ::SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::PostMessageW(m_hWnd, kMsgAfterDpiChange, 0, 0);
}

void CTarvel_APDlg::SetEepromTab(bool present) {
    if (HMENU sys = ::GetSystemMenu(m_hWnd, FALSE))
        ::EnableMenuItem(sys, IDM_SAVE_EEPROM, MF_BYCOMMAND | (present ? MF_ENABLED : MF_GRAYED));
    const int tabs = m_tab.GetItemCount();
    if (present && tabs == 1) m_tab.InsertItem(1, L"EEPROM");
    else if (!present && tabs == 2) m_tab.DeleteItem(1);
}

void CTarvel_APDlg::ApplyLanguage(int language) {
    if (HMENU sys = ::GetSystemMenu(m_hWnd, FALSE)) {
        if (language == 0 || language == 1) {
            ::CheckMenuItem(sys, IDM_LANGUAGE_ENGLISH, MF_BYCOMMAND | (language == 0 ? MF_CHECKED : MF_UNCHECKED));
            ::CheckMenuItem(sys, IDM_LANGUAGE_CHINESE, MF_BYCOMMAND | (language == 1 ? MF_CHECKED : MF_UNCHECKED));
        }
        const UINT eeprom = ::GetMenuState(sys, IDM_SAVE_EEPROM, MF_BYCOMMAND) & MF_GRAYED;
        ::ModifyMenuW(sys, IDM_SAVE_FLASH, MF_BYCOMMAND | MF_STRING, IDM_SAVE_FLASH,
                      LangText(texts::kSaveFlashBufferAs));
        ::ModifyMenuW(sys, IDM_SAVE_EEPROM, MF_BYCOMMAND | MF_STRING | eeprom, IDM_SAVE_EEPROM,
                      LangText(texts::kSaveEepromBufferAs));
        for (const ProjectMenuItem& item : kProjectMenu) {
            const UINT grey = ::GetMenuState(sys, item.command, MF_BYCOMMAND) & MF_GRAYED;
            ::ModifyMenuW(sys, item.command, MF_BYCOMMAND | MF_STRING | grey, item.command, LangText(item.text));
        }
        ::ModifyMenuW(sys, IDM_PRODUCTION_VIEW, MF_BYCOMMAND | MF_STRING, IDM_PRODUCTION_VIEW,
                      run::ViewTextOf(run::ViewText::Menu, language));
    }
    if (m_production) m_production->ApplyLanguage(language);

    UpdateTitle();

    for (const ControlText& c : kCaptions) AfxSetWindowText(GetDlgItem(c.id), LangText(c.text));
    SetJobCaptions();
    for (const ControlText& c : kLabels) AfxSetWindowText(GetDlgItem(c.id), LabelText(LangText(c.text)).c_str());
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
    case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wp)); return 0;
    case dpi::kMsgDpiChanged:
        if (lp) OnDpiChanged(*reinterpret_cast<const RECT*>(lp));
        // The dialog manager scales the controls and their fonts as well.
        return Default();
    case kMsgAfterDpiChange: LayoutForDpi(); return 0;
    case kMsgOpenStartFiles: {
        const std::vector<std::wstring> files = std::move(m_startFiles);
        m_startFiles.clear();
        LoadGivenFiles(CodeBuffer::Flash, files);
        return 0;
    }
    }
    return CDialogEx::WindowProc(msg, wp, lp);
}

bool CTarvel_APDlg::OnSysCommand(UINT command) {
    switch (command) {
    case SC_CLOSE:
        // Alt+F4 and the menu's Close: like Exit, not while a job runs.
        if (m_jobs.Busy()) return true;
        return false;
    case IDM_ABOUTBOX: CAboutDlg(m_hWnd, isp::Library(), m_exeFolder, Language).DoModal(); return true;
    case IDM_SAVE_FLASH: OnSaveBuffer(CodeBuffer::Flash); return true;
    case IDM_SAVE_EEPROM:
        if (m_tab.GetItemCount() == 2) OnSaveBuffer(CodeBuffer::Eeprom);
        return true;
    case IDM_OPEN_PROJECT: OnOpenProjectCommand(); return true;
    case IDM_SAVE_PROJECT: OnSaveProjectAs(); return true;
    case IDM_UNLOCK_PROJECT: OnUnlockProject(); return true;
    case IDM_PRODUCTION_VIEW: OnProductionView(); return true;
    case IDM_LANGUAGE_ENGLISH:
    case IDM_LANGUAGE_CHINESE:
        Language = command == IDM_LANGUAGE_ENGLISH ? 0 : 1;
        ApplyLanguage(Language);
        // Written at once; a failure is told in the language just chosen.
        SaveAppSettings(m_hWnd, m_exeFolder, CurrentSettings(), SavedKeys::Language);
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

bool CTarvel_APDlg::CanReload(CodeBuffer buffer) const {
    const image::LoadState ls = Slot(buffer).LoadState;
    return ls == image::LoadState::OneFile || ls == image::LoadState::MixedFile;
}

CodeBuffer CTarvel_APDlg::SelectedBuffer() const {
    return m_tab.GetCurSel() == 1 ? CodeBuffer::Eeprom : CodeBuffer::Flash;
}

LoadTarget CTarvel_APDlg::TargetOf(CodeBuffer buffer) {
    const isp::BodyInfo* body = SelectedBody();
    const bool flash = buffer == CodeBuffer::Flash;
    const std::uint32_t capacity = body ? (flash ? body->CodeCapacity : body->DataCapacity) : 0;
    return LoadTarget{Page(buffer), Slot(buffer), capacity, flash};
}

void CTarvel_APDlg::Reload() {
    const CodeBuffer buffer = SelectedBuffer();
    // An open project's files are checked whichever tab is shown.
    if ((!m_project && !CanReload(buffer)) || !SelectedBody()) return;
    // One load at a time: the loader's own dialogs activate this window
    // again as they close. A job works on copies of the buffers and its
    // buttons must not be touched: the reload waits until it has ended.
    if (m_loader.Busy()) return;
    if (m_jobs.Busy()) {
        m_reloadPending = true;
        return;
    }
    if (m_project) {
        ReloadProject();
        return;
    }
    if (m_loader.Reload(TargetOf(buffer), m_insert)) {
        History(buffer).Reloaded(Slot(buffer).FilePath, m_insert.InsertOffset);
        OnLoaded();
    }
}

void CTarvel_APDlg::OnActivate(UINT state, HWND other) {
    if (state == WA_INACTIVE) {
        DWORD pid = 0;
        if (other) ::GetWindowThreadProcessId(other, &pid);
        m_leftForOtherProgram = pid != ::GetCurrentProcessId();
        return;
    }
    if (AutoReload() && m_leftForOtherProgram) Reload();
}

void CTarvel_APDlg::OnDestroy() { m_jobs.StopAndWait(); }

bool CTarvel_APDlg::OnKickIdle(long) {
    // The window is painted. The ports are listed a moment later, once the
    // window has waited for input (and so has told the system it is ready)
    // rather than before.
    if (m_comPortsPending) ::SetTimer(m_hWnd, kTimerComPorts, USER_TIMER_MINIMUM, nullptr);
    return false;
}

void CTarvel_APDlg::OnTimer(UINT_PTR id) {
    if (id != kTimerComPorts) return;
    ::KillTimer(m_hWnd, kTimerComPorts);
    ListComPorts();
}

void CTarvel_APDlg::ListComPorts() {
    if (!m_comPortsPending) return;
    m_comPortsPending = false;
    m_portPicker.AddComPorts();
}

bool CTarvel_APDlg::OnCommand(int id, int code) {
    if (id == static_cast<int>(CHexEditBase::kCmdSave)) {
        OnSaveBuffer(SelectedBuffer());
        return true;
    }
    // The items of the system menu's "Language" pop-up and the project
    // items: Wine sends them as WM_COMMAND rather than WM_SYSCOMMAND.
    if (code == 0 && IsSystemMenuCommand(id)) return OnSysCommand(static_cast<UINT>(id));
    if (id == IDC_PORT_LIST && code == CBN_DROPDOWN) {
        ListComPorts();
        return true;
    }
    if (code == CBN_SELCHANGE) {
        switch (id) {
        case IDC_FAMILY_LIST:
            EndProject();
            OnFamilyChanged();
            return true;
        case IDC_PART_LIST:
            EndProject();
            OnPartChanged();
            return true;
        case IDC_PORT_LIST: OnPortChanged(); return true;
        case IDC_BAUDRATE_LIST:
        case IDC_CHECKRATE_LIST: EndProject(); break;
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
    case IDC_LOAD_FILE: OnLoadFile(); return true;
    case IDC_CLEAR_MESSAGE: Log.Clear(); return true;
    case IDC_OPEN_PORT: OnOpenPort(); return true;
    case IDC_CLOSE_PORT: OnClosePort(); return true;
    case IDC_UPDATE: OnJobButton(isp::JobType::Update); return true;
    case IDC_REPEAT_UPDATE: OnJobButton(isp::JobType::Repeat); return true;
    case IDC_DUMP_INFO: OnJobButton(isp::JobType::Dump); return true;
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
        m_facts.autoReloadChecked = checked;
        ApplyControlStates();
        if (checked) Reload();
        break;
    case IDC_ERASE_BY_SIZE:
        setBit(IspParam->SetupFlags, isp::kSetupEraseByFileSize);
        EndProject();
        break;
    case IDC_RSTN_COLD_RESET:
        setBit(IspParam->SetupFlags, isp::kSetupRstnColdReset);
        EndProject();
        break;
    case IDC_ENABLE_MODIFY:
        FlashPage.SetEditable(checked);
        EepromPage.SetEditable(checked);
        m_facts.modifyBufferChecked = checked;
        ApplyControlStates();
        break;
    default:
        if (IsOptionBox(id)) {
            setBit(IspParam->OptionBits, 1u << (id - IDC_OPTION0));
            EndProject();
        }
        break;
    }
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
    Page(CurrentBuffer).ShowWindow(SW_HIDE);
    CurrentBuffer = SelectedBuffer();
    Page(CurrentBuffer).ShowWindow(SW_SHOW);
}

void CTarvel_APDlg::ShowTabPage(CodeBuffer buffer) {
    CurrentBuffer = buffer;
    m_tab.SetCurSel(static_cast<int>(buffer));
    // The page already shown stays as it is rather than being hidden and
    // shown again (and repainted for nothing).
    Page(buffer == CodeBuffer::Eeprom ? CodeBuffer::Flash : CodeBuffer::Eeprom).ShowWindow(SW_HIDE);
    Page(buffer).ShowWindow(SW_SHOW);
}

void CTarvel_APDlg::OnOK() {}

void CTarvel_APDlg::OnCancel() {
    // Escape, the close box and Alt+F4 reach here even while a job has
    // disabled "Exit"; the tool must not end under a running job.
    if (m_jobs.Busy() || !IsDlgItemEnabled(IDC_EXIT)) return;
    OnExit();
}

void CTarvel_APDlg::OnExit() {
    // Both keys are tried; one message covers both, and the tool ends anyway.
    SaveAppSettings(m_hWnd, m_exeFolder, CurrentSettings(), SavedKeys::PartAndFolder);
    EndDialog(IDCANCEL);
}

AppSettings CTarvel_APDlg::CurrentSettings() const {
    AppSettings s;
    s.language = Language;
    s.lastPartNo = IspParam->PartIndex;
    s.loadFilePath = LastFolder;
    return s;
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
    for (unsigned n = 0; n < controls::kOptionBoxes; ++n) {
        const int id = IDC_OPTION0 + static_cast<int>(n);
        AfxSetWindowText(GetDlgItem(id), body ? parts::OptionCaption(*body, n, Language) : L"");
        SendDlgItemMessage(id, BM_SETCHECK, BST_UNCHECKED);
    }
    if (body) SetEepromTab(body->DataCapacity != 0);

    FlashPage.HexEdit.SetBuffer(nullptr, 0);
    EepromPage.HexEdit.SetBuffer(nullptr, 0);
    ShowTabPage(CodeBuffer::Flash);

    for (image::BufferSlot& slot : m_slots) slot = image::SlotAfterPartChange();
    for (setup::BufferHistory& history : m_history) history.Clear();
    IspParam->OptionBits = 0;
    FlashPage.ClearBoxes();
    EepromPage.ClearBoxes();
    m_facts.PartChanged(shown, m_jobs.Busy());
    ApplyControlStates();
}

bool CTarvel_APDlg::ShowPart(std::int32_t index) {
    // One part change for the lot: the family's first part, which a choice
    // of the family alone would select, is never shown on the way.
    m_partPicker.SelectFamilyOf(index);
    m_partPicker.ListPartsOfSelectedFamily();
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
    // An open project keeps its rates where the port's lists offer them.
    if (m_project) m_portPicker.SelectRates(m_project->project.baud, m_project->project.checkRate);
}

// ---- Loading files -------------------------------------------------------------

void CTarvel_APDlg::OnLoadFile() {
    const isp::BodyInfo* body = SelectedBody();
    if (!body || m_jobs.Busy() || m_facts.projectLocked) return;
    const CodeBuffer buffer = SelectedBuffer();
    const image::LoadState before = Slot(buffer).LoadState;
    if (m_loader.LoadChosenFile(TargetOf(buffer), m_insert, LastFolder, Language, body->DataAddress)) {
        RecordLoad(buffer, before);
        EndProject();
        OnLoaded();
    }
}

void CTarvel_APDlg::OnSaveBuffer(CodeBuffer buffer) {
    m_saver.SaveBufferAs(Page(buffer).HexEdit, LastFolder, Language);
}

void CTarvel_APDlg::OnDropFiles(HDROP drop) {
    // Taken (and the drop released) before anything can refuse it.
    const std::vector<std::wstring> files = drop::TakeDroppedFiles(drop);
    LoadGivenFiles(SelectedBuffer(), files);
}

void CTarvel_APDlg::LoadGivenFiles(CodeBuffer buffer, const std::vector<std::wstring>& files) {
    for (const std::wstring& path : files) {
        // Checked before each file: the previous one's dialogs let messages
        // through.
        if (m_jobs.Busy() || m_loader.Busy()) return;
        if (drop::IsProjectFile(path)) {
            OpenProjectAt(path);
            continue;
        }
        // A firmware file loads where Load File may (not into a locked
        // project).
        const isp::BodyInfo* body = SelectedBody();
        if (!body || !controls::StatesFor(m_facts).Enabled(controls::Control::LoadFile)) return;
        const image::LoadState before = Slot(buffer).LoadState;
        if (m_loader.LoadGivenFile(TargetOf(buffer), m_insert, path, LastFolder, Language, body->DataAddress)) {
            RecordLoad(buffer, before);
            EndProject();
            OnLoaded();
        }
    }
}

void CTarvel_APDlg::OnLoaded() {
    m_facts.Loaded();
    ApplyControlStates();
}

void CTarvel_APDlg::ApplyControlStates() {
    const controls::ControlStates states = controls::StatesFor(m_facts);
    for (const ControlId& c : kControlIds) EnableDlgItem(c.id, states.Enabled(c.control));
    const controls::MenuStates menu = controls::MenuStatesFor(m_facts);
    if (HMENU sys = ::GetSystemMenu(m_hWnd, FALSE)) {
        for (auto [command, on] :
             {std::pair{IDM_OPEN_PROJECT, menu.openProject}, std::pair{IDM_SAVE_PROJECT, menu.saveProject},
              std::pair{IDM_UNLOCK_PROJECT, menu.unlockProject}})
            ::EnableMenuItem(sys, static_cast<UINT>(command), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    }
}

// ---- Port link -------------------------------------------------------------------

void CTarvel_APDlg::OnOpenPort() {
    const std::uint32_t start = ::GetTickCount();
    Log.LogHeading(texts::kOpenPort);
    const isp::OpenOutcome result =
        m_port.Open(*IspParam, m_portPicker.PortName(), m_portPicker.BaudRate(), m_portPicker.CheckRate());
    if (!result.Passed()) {
        Log.LogResult(result.PortFailed() ? texts::kOpenComError : texts::kFail, start);
        return;
    }
    Log.LogResult(texts::kPass, start);
    const isp::BodyInfo* body = SelectedBody();
    m_facts.PortOpened(body ? body->PartClass : -1);
    ApplyControlStates();
}

void CTarvel_APDlg::OnClosePort() {
    if (m_jobs.Busy()) return;
    const std::uint32_t start = ::GetTickCount();
    Log.LogHeading(texts::kClosePort);
    if (!m_port.Close(*IspParam)) {
        Log.LogResult(texts::kFail, start);
        return;
    }
    Log.LogResult(texts::kPass, start);
    m_facts.PortClosed();
    ApplyControlStates();
}

// ---- Programming jobs ------------------------------------------------------------

namespace {
int JobButton(isp::JobType type) {
    switch (type) {
    case isp::JobType::Update: return IDC_UPDATE;
    case isp::JobType::Repeat: return IDC_REPEAT_UPDATE;
    case isp::JobType::Dump: return IDC_DUMP_INFO;
    }
    return IDC_UPDATE;
}
}  // namespace

void CTarvel_APDlg::OnJobButton(isp::JobType type) {
    // While a job runs, its own button is its Stop button and the others do
    // nothing, whatever their captions say.
    if (m_jobs.Busy()) {
        if (m_jobs.Running() == type) m_jobs.RequestStop();
        return;
    }
    if (!m_port.IsOpen()) return;
    IspParam->BaudRate = static_cast<std::int32_t>(m_portPicker.BaudRate());
    IspParam->CheckRate = static_cast<std::int32_t>(m_portPicker.CheckRate());
    m_runChecksums.clear();
    if (type != isp::JobType::Dump && !ChecksumsCanRun(type)) return;
    m_jobs.Start(type, m_hWnd);
}

void CTarvel_APDlg::SetJobCaptions() {
    if (m_jobs.Busy()) SetDlgItemText(JobButton(m_jobs.Running()), LangText(texts::kStop));
}

void CTarvel_APDlg::EnterJob(isp::JobType type) {
    if (type != isp::JobType::Dump) OpenUnits();
    SetJobCaptions();
    m_facts.JobEntered(type);
    ApplyControlStates();
}

void CTarvel_APDlg::LeaveJob(isp::JobType type) {
    m_units.Close();
    static constexpr int kCaption[] = {texts::kUpdateTarget, texts::kRepeatUpdate, texts::kDumpInfo};
    SetDlgItemText(JobButton(type), LangText(kCaption[static_cast<int>(type)]));
    ShowProgress(-1);
    m_facts.JobLeft(type, FlashPage.HexEdit.GetBufferLength());
    ApplyControlStates();
    if (m_reloadPending) {
        m_reloadPending = false;
        if (AutoReload()) Reload();
    }
}

void CTarvel_APDlg::ShowProgress(int pos) {
    if (pos < 0) {
        m_progress.ShowWindow(SW_HIDE);
        return;
    }
    m_progress.SetPos(pos);
    m_progress.ShowWindow(SW_SHOW);
}

void CTarvel_APDlg::CopyBuffers(std::vector<std::uint8_t>& flash, std::vector<std::uint8_t>& eeprom) {
    for (auto [editor, bytes] : {std::pair{&FlashPage.HexEdit, &flash}, std::pair{&EepromPage.HexEdit, &eeprom}}) {
        bytes->resize(editor->GetBufferLength());
        editor->CopyBuffer(bytes->data(), static_cast<DWORD>(bytes->size()));
    }
    ApplyChecksums(flash);
    // The image every board of the job gets, as the unit records name it:
    // with its checksums.
    m_unitImageCrc = run::Crc32Text(image::Crc32(flash.data(), flash.size()));
}

// ---- Unit records ----------------------------------------------------------------

void CTarvel_APDlg::OpenUnits() {
    m_unitsFailed = false;
    const std::wstring path = (m_project ? m_project->folder : m_exeFolder) + L"units.csv";
    std::wstring why;
    if (!m_units.Open(path, run::UnitFields(), &why)) UnitsFailed(why, true);
}

void CTarvel_APDlg::LogResult(int textId, std::uint32_t startTick) {
    // A run's line names the checksums of the image it programmed.
    if (!m_runChecksums.empty() && m_jobs.Running() != isp::JobType::Dump) Log.Append(m_runChecksums + L" => ");
    Log.LogResult(textId, startTick);
    const bool board = m_jobs.Busy() && m_jobs.Running() != isp::JobType::Dump;
    if (board && textId >= 0) WriteUnit(textId, startTick);
}

void CTarvel_APDlg::WriteUnit(int textId, std::uint32_t startTick) {
    if (!m_units.IsOpen() || m_unitsFailed) return;
    run::UnitRecord unit;
    unit.time = run::UnitTimeNow();
    unit.station = run::StationName();
    unit.operatorName = run::OperatorName();
    if (m_project) {
        unit.project = text::Utf8(m_project->project.name);
        unit.projectSha256 = m_project->sha256;
    }
    unit.port = text::Utf8(m_portPicker.PortName());
    unit.imageCrc32 = m_unitImageCrc;
    // The result's word as the console writes it: the English text.
    unit.outcome = text::Utf8(::LangText(static_cast<texts::TextId>(textId), 0));
    unit.seconds = (::GetTickCount() - startTick) / 1000.0;
    std::wstring why;
    if (!m_units.Append(run::UnitCsvRow(unit, m_units.Columns()), &why)) UnitsFailed(why, false);
}

void CTarvel_APDlg::UnitsFailed(const std::wstring& why, bool inHeading) {
    // Said at once; no board runs unrecorded.
    m_unitsFailed = true;
    m_units.Close();
    const std::wstring path = (m_project ? m_project->folder : m_exeFolder) + L"units.csv";
    // Before the first board it stands in the job's line, ahead of its
    // result; after a board's result it is a line of its own.
    Log.Append(FillText(run::ViewTextOf(run::ViewText::UnitsNotWritten, Language), {path, why}) +
               (inHeading ? L" - " : L"\r\n"));
    m_jobs.RequestStop();
}

void CTarvel_APDlg::ShowReadBack(const std::uint8_t* bytes, std::size_t length) {
    FlashPage.HexEdit.SetBuffer(bytes, static_cast<DWORD>(length));
    Slot(CodeBuffer::Flash) = image::SlotAfterReadBack();
    History(CodeBuffer::Flash).ReadBack();
    EndProject();
    const isp::BodyInfo* body = SelectedBody();
    if (body && body->DataCapacity != 0) Slot(CodeBuffer::Eeprom) = image::SlotAfterReadBack();
    ShowTabPage(CodeBuffer::Flash);
}
