#include "framework/Wnd.h"

#include "framework/UiTask.h"

#include <commctrl.h>

#include <cwchar>

namespace {
// Each window we own carries a property pointing at its CWnd, so that the
// modal loop can find the PreTranslateMessage of any window and its parents.
const wchar_t kOwnerProp[] = L"Tarvel.CWnd";
const UINT_PTR kSubclassId = 0x7A17;
}  // namespace

CWnd::~CWnd() {
    if (m_subclassed && ::IsWindow(m_hWnd)) UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) { return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kOwnerProp)) : nullptr; }

void CWnd::BindHandle(HWND hwnd) {
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kOwnerProp, this);
}

void CWnd::UnbindHandle() {
    if (m_hWnd) ::RemovePropW(m_hWnd, kOwnerProp);
    m_hWnd = nullptr;
}

bool CWnd::SubclassWindow(HWND hwnd) {
    if (!hwnd || m_hWnd || FromHandlePermanent(hwnd)) return false;
    if (!::SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
    BindHandle(hwnd);
    m_subclassed = true;
    return true;
}

bool CWnd::SubclassDlgItem(int id, HWND parent) { return SubclassWindow(::GetDlgItem(parent, id)); }

HWND CWnd::UnsubclassWindow() {
    HWND hwnd = m_hWnd;
    if (!m_subclassed) return nullptr;
    ::RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
    UnbindHandle();
    m_subclassed = false;
    return hwnd;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

std::wstring CWnd::GetWindowText(HWND hwnd) {
    int n = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
    n = ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

LRESULT CWnd::WindowProc(UINT, WPARAM, LPARAM) { return Default(); }

LRESULT CWnd::Default() { return ::DefSubclassProc(m_hWnd, m_current.msg, m_current.wp, m_current.lp); }

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    CWnd* self = reinterpret_cast<CWnd*>(ref);
    if (msg == WM_NCDESTROY) {
        LRESULT r = ::DefSubclassProc(hwnd, msg, wp, lp);
        ::RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
        self->UnbindHandle();
        self->m_subclassed = false;
        self->PostNcDestroy();
        return r;
    }
    if (msg == kMsgUiTask) return RunUiTaskMessage(lp);
    const Message saved = self->m_current;
    self->m_current = {msg, wp, lp};
    LRESULT r = 0;
    try {
        r = self->WindowProc(msg, wp, lp);
    } catch (...) {
        // Exceptions never cross the system's window procedure; the default
        // processing stands in for the failed handler.
        ::OutputDebugStringW(L"Tarvel: exception in a window handler\n");
        r = ::DefSubclassProc(hwnd, msg, wp, lp);
    }
    self->m_current = saved;
    return r;
}

bool WalkPreTranslateTree(MSG* msg) {
    for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
        if (CWnd* w = CWnd::FromHandlePermanent(h)) {
            if (w->PreTranslateMessage(msg)) return true;
        }
        if (!(::GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) break;  // stop at the top-level window
    }
    return false;
}

void AfxSetWindowText(HWND hwnd, const wchar_t* text) {
    if (!hwnd || !text) return;
    const std::size_t length = std::wcslen(text);
    if (static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) == length) {
        std::wstring now(length + 1, L'\0');
        const int got = ::GetWindowTextW(hwnd, &now[0], static_cast<int>(now.size()));
        if (got >= 0 && static_cast<std::size_t>(got) == length && now.compare(0, length, text) == 0) return;
    }
    ::SetWindowTextW(hwnd, text);
    // A control draws its new caption over what it showed before, and a
    // check box or a label lets what lies under it show through (a check
    // box standing on a group box's frame). The parent's area under the
    // control is painted again, with everything in it, as a fresh paint of
    // the window would paint it.
    const HWND parent = (::GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) ? ::GetParent(hwnd) : nullptr;
    if (!parent) return;
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    ::RedrawWindow(parent, &rc, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}
