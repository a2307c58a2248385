// CDialogEx: dialogs from templates, run modally through our own loop (so
// that PreTranslateMessage reaches every window of the dialog) or created
// modeless as child pages. Data exchange binds controls to members once, at
// initialisation. WindowProc cracks the common messages into typed On...
// handlers; a dialog overrides those, and WindowProc only for a message the
// base does not crack.
#pragma once

#include "framework/Wnd.h"

class CDataExchange {
public:
    CDataExchange(HWND dialog, bool saveAndValidate) : m_dialog(dialog), m_bSaveAndValidate(saveAndValidate) {}
    HWND m_dialog;
    bool m_bSaveAndValidate;
};

// Binds control id of the dialog to a CWnd member: the member takes over the
// control's window, so a derived class (such as a custom view) replaces its
// behaviour. Binding happens once; later exchanges leave it alone.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialogEx : public CWnd {
public:
    explicit CDialogEx(UINT templateId, HWND parent = nullptr) : m_templateId(templateId), m_parent(parent) {}
    ~CDialogEx() override;

    // Runs the dialog modally and returns the value given to EndDialog, or -1
    // when the dialog could not be created.
    INT_PTR DoModal();
    // Creates the dialog modeless, for instance as a child page.
    bool Create(UINT templateId, HWND parent);
    // Ends a modal dialog; ignored for a modeless one.
    void EndDialog(INT_PTR result);
    bool IsModal() const { return m_modal; }

    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    // WM_INITDIALOG. The base runs the data exchange; return TRUE to let the
    // system set the focus to the first control.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* dx);
    // IDOK / IDCANCEL. A modal dialog ends; a modeless page ignores both, so
    // that Enter and Escape never close a page.
    virtual void OnOK();
    virtual void OnCancel();

    // The message map's handlers; each returns true when it handled the
    // message, and the rest goes to the dialog manager.
    // WM_COMMAND. The base routes IDOK and IDCANCEL (whatever the code, as
    // Escape sends IDCANCEL with code 0) and hands BN_CLICKED to OnClicked.
    virtual bool OnCommand(int id, int code);
    // BN_CLICKED of a button or check box other than IDOK and IDCANCEL.
    virtual bool OnClicked(int id);
    // WM_NOTIFY; *result is the notification's result.
    virtual bool OnNotify(const NMHDR& header, LRESULT* result);
    // WM_SYSCOMMAND, with the system's low four bits masked off.
    virtual bool OnSysCommand(UINT command);
    // WM_ACTIVATE (WA_INACTIVE, WA_ACTIVE, WA_CLICKACTIVE) and the window
    // that loses or gains activation in exchange; the dialog manager's own
    // handling (restoring the focus) follows.
    virtual void OnActivate(UINT state, HWND other);
    // WM_TIMER.
    virtual void OnTimer(UINT_PTR id);
    // WM_DESTROY: the window is going; controls still exist.
    virtual void OnDestroy();
    // A modal dialog's loop found no message waiting: the window is painted
    // and answers input. Work that nothing shows yet can wait for this
    // moment. Called with 0, 1, 2, ... for as long as it returns true; once
    // it returns false it is not called again.
    virtual bool OnKickIdle(long count);

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    // For a dialog, "not handled": the dialog procedure returns FALSE.
    LRESULT Default() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool PumpOneMessage();
    INT_PTR Dispatch(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    UINT m_templateId;
    HWND m_parent;
    bool m_modal = false;
    bool m_ending = false;
    bool m_defaultRequested = false;
    bool m_kickIdle = true;
    long m_idleCount = 0;
    INT_PTR m_result = -1;
};
