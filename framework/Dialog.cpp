#include "framework/Dialog.h"

#include "framework/UiTask.h"

#include <cstdio>

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd == nullptr) control.SubclassDlgItem(id, dx->m_dialog);
}

CDialogEx::~CDialogEx() {
    // A window outliving its object would dispatch into freed memory.
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        HWND hwnd = m_hWnd;
        UnbindHandle();
        ::DestroyWindow(hwnd);
    }
}

bool CDialogEx::Create(UINT templateId, HWND parent) {
    m_templateId = templateId;
    m_parent = parent;
    m_modal = false;
    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    // A dialog destroyed during its initialisation may still hand back its
    // (now dead) handle.
    return hwnd != nullptr && ::IsWindow(hwnd);
}

INT_PTR CDialogEx::DoModal() {
    m_modal = true;
    m_ending = false;
    m_result = -1;
    HWND owner = m_parent;
    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (!hwnd || !::IsWindow(hwnd)) {
        m_modal = false;
        return -1;
    }
    const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    if (!m_ending) ::ShowWindow(hwnd, SW_SHOW);

    while (!m_ending && PumpOneMessage()) {
    }

    // Re-enable and activate the owner before the dialog goes, or the
    // activation would pass to another application's window.
    if (ownerWasEnabled) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    m_modal = false;
    return m_result;
}

bool CDialogEx::PumpOneMessage() {
    MSG msg;
    while (m_kickIdle && !m_ending && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE))
        m_kickIdle = OnKickIdle(m_idleCount++);
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
        // WM_QUIT ends the dialog; hand the quit on to any outer loop.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    if (got == -1) return false;
    if (WalkPreTranslateTree(&msg)) return true;
    if (m_hWnd && ::IsDialogMessageW(m_hWnd, &msg)) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

void CDialogEx::EndDialog(INT_PTR result) {
    if (!m_modal) return;
    m_result = result;
    m_ending = true;
    // Wake the loop if it is waiting in GetMessage.
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialogEx::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(m_hWnd, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialogEx::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialogEx::DoDataExchange(CDataExchange*) {}

void CDialogEx::OnOK() { EndDialog(IDOK); }

void CDialogEx::OnCancel() { EndDialog(IDCANCEL); }

bool CDialogEx::OnCommand(int id, int code) {
    switch (id) {
    case IDOK: OnOK(); return true;
    case IDCANCEL: OnCancel(); return true;
    }
    return code == BN_CLICKED && OnClicked(id);
}

bool CDialogEx::OnClicked(int) { return false; }
bool CDialogEx::OnNotify(const NMHDR&, LRESULT*) { return false; }
bool CDialogEx::OnSysCommand(UINT) { return false; }
void CDialogEx::OnActivate(UINT, HWND) {}
void CDialogEx::OnTimer(UINT_PTR) {}
void CDialogEx::OnDestroy() {}

bool CDialogEx::OnKickIdle(long) { return false; }

LRESULT CDialogEx::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (OnCommand(LOWORD(wp), HIWORD(wp))) return 0;
        break;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (lp && OnNotify(*reinterpret_cast<const NMHDR*>(lp), &result)) return result;
        break;
    }
    case WM_SYSCOMMAND:
        if (OnSysCommand(static_cast<UINT>(wp) & 0xFFF0)) return 0;
        break;
    case WM_ACTIVATE: OnActivate(LOWORD(wp), reinterpret_cast<HWND>(lp)); break;
    case WM_TIMER: OnTimer(wp); return 0;
    case WM_DESTROY: OnDestroy(); break;
    case kMsgUiTask: return RunUiTaskMessage(lp);
    }
    return Default();
}

LRESULT CDialogEx::Default() {
    m_defaultRequested = true;
    return 0;
}

INT_PTR CALLBACK CDialogEx::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    CDialogEx* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogEx*>(lp);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->BindHandle(hwnd);
        try {
            return self->OnInitDialog();
        } catch (...) {
            // A half-made dialog must not be shown: destroying it here makes
            // CreateDialogParam return null, so DoModal gives -1 and Create
            // false.
            ::OutputDebugStringW(L"Tarvel: exception in OnInitDialog\n");
            ::DestroyWindow(hwnd);
            return FALSE;
        }
    }
    self = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->UnbindHandle();
        self->m_ending = true;  // a modal loop whose window is gone must not wait on
        self->PostNcDestroy();
        return FALSE;
    }

    const Message saved = self->m_current;
    const bool savedDefault = self->m_defaultRequested;
    self->m_current = {msg, wp, lp};
    self->m_defaultRequested = false;
    LRESULT result = 0;
    try {
        result = self->WindowProc(msg, wp, lp);
    } catch (...) {
        ::OutputDebugStringW(L"Tarvel: exception in a dialog handler\n");
        self->m_defaultRequested = true;
    }
    const bool handled = !self->m_defaultRequested;
    self->m_current = saved;
    self->m_defaultRequested = savedDefault;
    if (!handled) return FALSE;
    // The one place that hands a result to the dialog manager: these messages
    // return their value directly, the rest through DWLP_MSGRESULT.
    switch (msg) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG: return static_cast<INT_PTR>(result);
    }
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}
