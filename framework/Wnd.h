// CWnd: a non-owning wrapper of an HWND. It can take over an existing window
// (subclassing through the common controls' SetWindowSubclass), and it is the
// base of our dialogs. One dispatch mechanism: a class overrides WindowProc,
// whose switch is its message map; each case calls a named On... handler and
// anything not handled goes to Default().
#pragma once

#include <windows.h>

#include <string>

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd); }

    // The CWnd that owns hwnd's dispatch (a dialog of ours or a subclassed
    // window), or nullptr for windows we do not own.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Takes over an existing window: its messages reach WindowProc first.
    bool SubclassWindow(HWND hwnd);
    bool SubclassDlgItem(int id, HWND parent);
    HWND UnsubclassWindow();

    // Called by our modal loop for the window a message is for and then for
    // each of its parents, before the dialog manager sees it. Return TRUE to
    // swallow the message.
    virtual BOOL PreTranslateMessage(MSG* msg);

    // Thin helpers around the API, on this window or its children.
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageW(m_hWnd, msg, wp, lp); }
    LRESULT SendDlgItemMessage(int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendDlgItemMessageW(m_hWnd, id, msg, wp, lp);
    }
    void SetWindowText(const wchar_t* text) const { ::SetWindowTextW(m_hWnd, text); }
    std::wstring GetWindowText() const { return GetWindowText(m_hWnd); }
    static std::wstring GetWindowText(HWND hwnd);
    void SetDlgItemText(int id, const wchar_t* text) const { ::SetDlgItemTextW(m_hWnd, id, text); }
    std::wstring GetDlgItemText(int id) const { return GetWindowText(GetDlgItem(id)); }
    void EnableDlgItem(int id, bool enable) const { ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE); }
    bool IsDlgItemEnabled(int id) const { return ::IsWindowEnabled(GetDlgItem(id)) != FALSE; }
    void EnableWindow(bool enable) const { ::EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
    void ShowWindow(int cmd) const { ::ShowWindow(m_hWnd, cmd); }
    void Invalidate(bool erase = true) const { ::InvalidateRect(m_hWnd, nullptr, erase ? TRUE : FALSE); }

protected:
    // The message map. The base passes everything to Default().
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    // Lets the system handle the message being dispatched: the previous window
    // procedure of a subclassed window, the dialog manager for a dialog.
    virtual LRESULT Default();
    // Last call for this object's window (after WM_NCDESTROY).
    virtual void PostNcDestroy() {}

    // The message being dispatched, for Default().
    struct Message {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
    };
    Message m_current{};

    void BindHandle(HWND hwnd);  // sets m_hWnd and the lookup property
    void UnbindHandle();

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR ref);
    bool m_subclassed = false;
};

// Sets a window's text only when it differs from the text it has, so that
// setting many captions at once (a language, a part's options) costs only
// the ones that change, and an unchanged one is not redrawn. A child whose
// text changes is repainted together with what lies under it in its parent,
// so that no trace of the old text stays.
void AfxSetWindowText(HWND hwnd, const wchar_t* text);

// Runs msg through PreTranslateMessage of the window it is for and of each of
// its parents, up to and including the top-level window. True = swallowed.
bool WalkPreTranslateTree(MSG* msg);
