// Wrappers of the common controls the dialogs use: one line per call, bound
// to a dialog's control with DDX_Control. Lists keep data, not text: an item's
// data (SetItemData) is what a selection means, so two items with the same
// caption are never confused.
#pragma once

#include "framework/Wnd.h"

#include <commctrl.h>

#include <string>

class CComboBox : public CWnd {
public:
    void ResetContent() const { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    // Index of the new item, or CB_ERR.
    int AddString(const wchar_t* text) const {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    void SetItemData(int index, DWORD_PTR data) const {
        SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data));
    }
    DWORD_PTR GetItemData(int index) const {
        return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    // Adds an item that carries data; returns its index.
    int AddItem(const wchar_t* text, DWORD_PTR data) const {
        const int index = AddString(text);
        if (index >= 0) SetItemData(index, data);
        return index;
    }
    // Index of the first item carrying data, or -1.
    int FindItemData(DWORD_PTR data) const {
        const int n = GetCount();
        for (int i = 0; i < n; ++i)
            if (GetItemData(i) == data) return i;
        return -1;
    }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    void SetCurSel(int index) const { SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    // The selected item's text; empty without a selection.
    std::wstring GetSelectedText() const { return GetWindowText(); }
};

class CButton : public CWnd {
public:
    bool GetCheck() const { return SendMessage(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) const { SendMessage(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
};

class CEdit : public CWnd {
public:
    // 0 lifts the limit (to what the system allows).
    void SetLimitText(UINT limit) const { SendMessage(EM_SETLIMITTEXT, limit); }
    int GetTextLength() const { return static_cast<int>(SendMessage(WM_GETTEXTLENGTH)); }
    void SetSel(int from, int to) const { SendMessage(EM_SETSEL, static_cast<WPARAM>(from), to); }
    void ReplaceSel(const wchar_t* text) const { SendMessage(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text)); }
    void ScrollCaret() const { SendMessage(EM_SCROLLCARET); }
    void ScrollToEnd() const { SendMessage(WM_VSCROLL, SB_BOTTOM); }
};

class CTabCtrl : public CWnd {
public:
    int GetCurSel() const { return TabCtrl_GetCurSel(m_hWnd); }
    void SetCurSel(int index) const { TabCtrl_SetCurSel(m_hWnd, index); }
    int GetItemCount() const { return TabCtrl_GetItemCount(m_hWnd); }
    void InsertItem(int index, const wchar_t* text) const {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(text);
        TabCtrl_InsertItem(m_hWnd, index, &item);
    }
    void DeleteItem(int index) const { TabCtrl_DeleteItem(m_hWnd, index); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(int lower, int upper) const { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    void SetPos(int pos) const { SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)); }
};
