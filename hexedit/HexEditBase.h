// CHexEditBase: the hex editor window. It takes over an existing edit window
// (a dialog's control, through DDX_Control or SubclassDlgItem) and shows its
// own copy of a byte buffer as address, hex and character columns. The user
// overwrites nibbles, selects bytes with mouse and keys, and exchanges them
// with the clipboard ("BinaryData" block and CF_TEXT). The logic lives in
// hexedit::HexViewModel; this class measures, paints and talks to the system.
//
// Threads: the window belongs to the thread that created it. SetBuffer,
// CopyBuffer and GetBufferLength may also be called from other threads (the
// programming jobs): such calls are carried out by the window's thread through
// SendMessage, so painting never sees a buffer being replaced. Without a
// window a call from another thread does nothing and reports failure.
#pragma once

#include "framework/Handles.h"
#include "framework/Wnd.h"
#include "hexedit/HexViewModel.h"

#include <atomic>

class CHexEditBase : public CWnd {
public:
    CHexEditBase();
    ~CHexEditBase() override;

    // Command ids of the standard edit commands the control answers.
    static constexpr UINT kCmdCopy = 57634;
    static constexpr UINT kCmdPaste = 57637;
    static constexpr UINT kCmdSelectAll = 57642;
    // Sent (WM_COMMAND) to the top-level window on Ctrl+S: the control holds
    // no file, so its owner decides where the buffer is saved.
    static constexpr UINT kCmdSave = 57603;
    // Private message: bring the scroll bars up to date.
    static constexpr UINT kMsgUpdateScrollBars = WM_APP + 0x50;
    static constexpr UINT_PTR kAutoScrollTimer = 0x400;

    // Replaces the buffer with a copy of length bytes (null bytes: no
    // storage), puts the caret on byte 0 and redraws. Returns false when the
    // copy could not be allocated (the control is then empty) or when called
    // from another thread while the window is gone.
    bool SetBuffer(const BYTE* bytes, DWORD length);
    // Copies min(maxLength, length) bytes to dest; returns the full length
    // (0 without storage).
    DWORD CopyBuffer(BYTE* dest, DWORD maxLength);
    DWORD GetBufferLength();

    virtual void SetReadOnly(bool readOnly, bool redraw = true);
    bool IsReadOnly() const { return m_model.ReadOnly(); }
    // Places the caret on a byte and digit without scrolling.
    void SetCaret(DWORD index, bool highNibble);
    void ShowAddressColumn(bool show);
    void ShowTextColumn(bool show);
    void SetAddressDigits(UINT digits);
    void SetBytesPerRow(UINT bytesPerRow);
    void SetAddressColors(COLORREF text, COLORREF background);
    void SetHexColors(COLORREF text, COLORREF background);
    void SetTextColors(COLORREF text, COLORREF background);
    void SetBackgroundColor(COLORREF background);
    void Redraw();

    bool HasSelection() const { return m_model.HasSelection(); }
    DWORD GetSelectionStart() const { return m_model.SelectionStart(); }
    DWORD GetSelectionEnd() const { return m_model.SelectionEnd(); }
    DWORD GetCaretIndex() const { return m_model.CaretIndex(); }
    bool IsCaretOnHighNibble() const { return m_model.CaretHigh(); }
    DWORD GetTopRow() const { return m_model.TopRow(); }
    const hexedit::HexViewModel& Model() const { return m_model; }

    void SelectAll();
    void Copy();
    void Paste();

    // Ctrl+A, Ctrl+C, Ctrl+V and Ctrl+S for this window, before key translation.
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PostNcDestroy() override;

private:
    bool OnForeignThread(HWND* window) const;
    bool SetBufferHere(const BYTE* bytes, DWORD length);
    void Touch();  // publishes m_hWnd to other threads

    void OnPaint();                           // WM_PAINT
    void OnSize();                            // WM_SIZE
    void OnScroll(int bar, WPARAM wp);        // WM_VSCROLL, WM_HSCROLL
    void OnSetFont(HFONT font, bool redraw);  // WM_SETFONT
    void OnSetFocus();                        // WM_SETFOCUS
    void OnKillFocus();                       // WM_KILLFOCUS
    void OnKeyDown(UINT key);                 // WM_KEYDOWN
    void OnChar(UINT code);                   // WM_CHAR
    void OnLButtonDown(POINT p);              // WM_LBUTTONDOWN
    void OnLButtonUp();                       // WM_LBUTTONUP
    void OnLButtonDblClk(POINT p);            // WM_LBUTTONDBLCLK
    void OnMouseMove(POINT p, WPARAM keys);   // WM_MOUSEMOVE
    void OnMouseWheel(int delta);             // WM_MOUSEWHEEL
    void OnTimer(UINT_PTR id);                // WM_TIMER
    void OnCaptureChanged();                  // WM_CAPTURECHANGED
    BOOL OnCommand(UINT id);                  // WM_COMMAND (edit commands)

    // Follows the window's dpi: the default font and the margins scale with
    // it (a font the host set stays as given).
    void SyncDpi();
    void MakeDefaultFont();
    void EnsureLayout();
    void RecalcLayout(HDC dc);
    void UpdateScrollBars();
    void PlaceCaret();
    void DestroyOwnCaret();
    void Apply(unsigned effects);
    void NotifyChange();
    void PaintView(HDC dc, int width, int height);
    bool HasFocus() const { return ::GetFocus() == m_hWnd; }

    hexedit::HexViewModel m_model;
    // The window as other threads see it; set on the window's thread.
    std::atomic<HWND> m_sharedHwnd{nullptr};
    DWORD m_ownerThread = 0;  // the constructing thread, for calls before a window exists

    HFONT m_font = nullptr;  // the font in use (stock or m_ownFont)
    GdiObject<HFONT> m_ownFont;
    bool m_hostFont = false;          // set through WM_SETFONT
    int m_dpi = 96;                   // the dpi the font and margins are made for
    GdiObject<HBITMAP> m_backBuffer;  // kept until the client size changes
    int m_backWidth = 0, m_backHeight = 0;

    COLORREF m_addressText = RGB(255, 0, 0), m_addressBack = RGB(90, 0, 0);
    COLORREF m_charText = RGB(0, 255, 0), m_charBack = RGB(0, 20, 0);
    COLORREF m_hexText = RGB(0, 0, 255), m_hexBack = RGB(180, 210, 190);
    COLORREF m_background = RGB(210, 210, 210);
    COLORREF m_selBackFocused, m_selTextFocused, m_selBackUnfocused, m_selTextUnfocused;

    bool m_caretCreated = false;
    int m_caretWidth = 0, m_caretHeight = 0;
    UINT m_binaryFormat = 0;
};
