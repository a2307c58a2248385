#include "hexedit/HexEditBase.h"

#include "framework/Dpi.h"
#include "framework/UiTask.h"

#include <windowsx.h>

#include <cstdint>
#include <cstring>

using hexedit::Effect;
using hexedit::Key;

namespace {

// Fills a rectangle without creating a brush: an opaque, empty text output
// paints the background colour.
void FillSolid(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
    if (right <= left || bottom <= top) return;
    const RECT r{left, top, right, bottom};
    ::SetBkColor(dc, color);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

Key KeyFromVirtualKey(UINT vk) {
    switch (vk) {
    case VK_TAB: return Key::Tab;
    case VK_PRIOR: return Key::PageUp;
    case VK_NEXT: return Key::PageDown;
    case VK_HOME: return Key::Home;
    case VK_END: return Key::End;
    case VK_LEFT: return Key::Left;
    case VK_RIGHT: return Key::Right;
    case VK_UP: return Key::Up;
    case VK_DOWN: return Key::Down;
    }
    return Key::Other;
}

bool ShiftDown() { return ::GetKeyState(VK_SHIFT) < 0; }

// A global memory block that is freed unless handed over (to the clipboard).
class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T size) : m_h(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size)) {}
    ~GlobalBlock() {
        if (m_h) ::GlobalFree(m_h);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL get() const { return m_h; }
    HGLOBAL release() {
        HGLOBAL h = m_h;
        m_h = nullptr;
        return h;
    }

private:
    HGLOBAL m_h;
};

}  // namespace

CHexEditBase::CHexEditBase() {
    // Taken once: the selection keeps these colours for the control's life.
    m_selBackFocused = ::GetSysColor(COLOR_HIGHLIGHT);
    m_selTextFocused = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    m_selBackUnfocused = ::GetSysColor(COLOR_BTNFACE);
    m_selTextUnfocused = ::GetSysColor(COLOR_WINDOWTEXT);
    m_font = static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
    if (!m_font) m_font = static_cast<HFONT>(::GetStockObject(SYSTEM_FIXED_FONT));
    m_binaryFormat = ::RegisterClipboardFormatW(L"BinaryData");
    m_ownerThread = ::GetCurrentThreadId();
}

CHexEditBase::~CHexEditBase() {
    // WM_DESTROY, still dispatched to this object, stops the timer and the
    // caret.
    if (IsWindow()) ::DestroyWindow(m_hWnd);
}

void CHexEditBase::PostNcDestroy() {
    m_sharedHwnd.store(nullptr);
    m_caretCreated = false;
}

void CHexEditBase::Touch() {
    if (m_sharedHwnd.load(std::memory_order_relaxed) != m_hWnd) m_sharedHwnd.store(m_hWnd);
}

// ---------------------------------------------------------------------------
// Buffer operations, also reached from job threads

bool CHexEditBase::OnForeignThread(HWND* window) const {
    const HWND w = m_sharedHwnd.load();
    *window = w;
    const DWORD uiThread = w ? ::GetWindowThreadProcessId(w, nullptr) : m_ownerThread;
    return uiThread != ::GetCurrentThreadId();
}

bool CHexEditBase::SetBuffer(const BYTE* bytes, DWORD length) {
    HWND w;
    if (OnForeignThread(&w)) {
        // The window's thread replaces the buffer while this thread waits, so
        // painting and input never see it half replaced. A window that is
        // gone runs nothing, which reports the failure.
        return CallOnWindowThread(w, [&] { return SetBufferHere(bytes, length); }).value_or(false);
    }
    return SetBufferHere(bytes, length);
}

bool CHexEditBase::SetBufferHere(const BYTE* bytes, DWORD length) {
    Touch();
    const bool ok = m_model.SetBuffer(bytes, length);
    if (IsWindow()) {
        // A drag in progress ends with the old bytes.
        ::KillTimer(m_hWnd, kAutoScrollTimer);
        if (::GetCapture() == m_hWnd) ::ReleaseCapture();
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
    }
    SetCaret(0, true);
    return ok;
}

DWORD CHexEditBase::CopyBuffer(BYTE* dest, DWORD maxLength) {
    HWND w;
    if (OnForeignThread(&w)) {
        return CallOnWindowThread(w, [&] { return m_model.CopyBuffer(dest, maxLength); }).value_or(0);
    }
    return m_model.CopyBuffer(dest, maxLength);
}

DWORD CHexEditBase::GetBufferLength() { return CopyBuffer(nullptr, 0); }

// ---------------------------------------------------------------------------
// Configuration

void CHexEditBase::SetReadOnly(bool readOnly, bool redraw) {
    m_model.SetReadOnly(readOnly);
    if (redraw) Redraw();
}

void CHexEditBase::SetCaret(DWORD index, bool highNibble) {
    m_model.SetCaretIndex(index, highNibble);
    PlaceCaret();
}

void CHexEditBase::ShowAddressColumn(bool show) {
    if (m_model.ShowAddressColumn(show) && IsWindow()) {
        PlaceCaret();
        Invalidate();
    }
}

void CHexEditBase::ShowTextColumn(bool show) {
    if (m_model.ShowTextColumn(show) && IsWindow()) {
        PlaceCaret();
        Invalidate();
    }
}

void CHexEditBase::SetAddressDigits(UINT digits) {
    m_model.SetAddressDigits(digits);
    if (IsWindow()) {
        PlaceCaret();
        Invalidate();
    }
}

void CHexEditBase::SetBytesPerRow(UINT bytesPerRow) {
    if (m_model.SetBytesPerRow(bytesPerRow) && IsWindow()) {
        PlaceCaret();
        Invalidate();
    }
}

void CHexEditBase::SetAddressColors(COLORREF text, COLORREF background) {
    m_addressText = text;
    m_addressBack = background;
    Redraw();
}

void CHexEditBase::SetHexColors(COLORREF text, COLORREF background) {
    m_hexText = text;
    m_hexBack = background;
    Redraw();
}

void CHexEditBase::SetTextColors(COLORREF text, COLORREF background) {
    m_charText = text;
    m_charBack = background;
    Redraw();
}

void CHexEditBase::SetBackgroundColor(COLORREF background) {
    m_background = background;
    Redraw();
}

void CHexEditBase::Redraw() {
    if (!IsWindow()) return;
    Touch();
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

// ---------------------------------------------------------------------------
// Message map

LRESULT CHexEditBase::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    Touch();
    switch (msg) {
    case WM_PAINT: OnPaint(); return 0;
    case WM_ERASEBKGND: return TRUE;  // the paint covers everything
    case WM_SIZE: OnSize(); return 0;
    case kMsgUpdateScrollBars: UpdateScrollBars(); return 0;
    case WM_VSCROLL: OnScroll(SB_VERT, wp); return 0;
    case WM_HSCROLL: OnScroll(SB_HORZ, wp); return 0;
    case WM_SETFONT: OnSetFont(reinterpret_cast<HFONT>(wp), lp != 0); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(m_font);
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
    case dpi::kMsgDpiChangedAfterParent:
        SyncDpi();
        PlaceCaret();
        UpdateScrollBars();
        Invalidate(false);
        return 0;
    case WM_SETFOCUS: OnSetFocus(); return 0;
    case WM_KILLFOCUS: OnKillFocus(); return 0;
    case WM_KEYDOWN: OnKeyDown(static_cast<UINT>(wp)); return 0;
    case WM_CHAR: OnChar(static_cast<UINT>(wp)); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}); return 0;
    case WM_LBUTTONUP: OnLButtonUp(); return 0;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}); return 0;
    case WM_MOUSEMOVE: OnMouseMove({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, wp); return 0;
    case WM_MOUSEWHEEL: OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wp)); return 0;
    case WM_TIMER: OnTimer(wp); return 0;
    case WM_CAPTURECHANGED: OnCaptureChanged(); return Default();
    case WM_CONTEXTMENU: return 0;  // no menu, not even the edit window's own
    case WM_COMMAND:
        if (OnCommand(LOWORD(wp))) return 0;
        break;
    case WM_DESTROY:
        ::KillTimer(m_hWnd, kAutoScrollTimer);
        DestroyOwnCaret();
        return Default();
    }
    return Default();
}

BOOL CHexEditBase::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->hwnd == m_hWnd && ::GetKeyState(VK_CONTROL) < 0) {
        switch (msg->wParam) {
        case 'A': SelectAll(); return TRUE;
        case 'C': Copy(); return TRUE;
        case 'V': Paste(); return TRUE;
        case 'S': ::SendMessageW(::GetAncestor(m_hWnd, GA_ROOT), WM_COMMAND, MAKEWPARAM(kCmdSave, 0), 0); return TRUE;
        }
    }
    return CWnd::PreTranslateMessage(msg);
}

BOOL CHexEditBase::OnCommand(UINT id) {
    switch (id) {
    case kCmdCopy: Copy(); return TRUE;
    case kCmdPaste: Paste(); return TRUE;
    case kCmdSelectAll: SelectAll(); return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------------------
// Layout, scroll bars, caret

void CHexEditBase::RecalcLayout(HDC dc) {
    SelectGuard font(dc, m_font);
    SIZE digit{};
    ::GetTextExtentPoint32A(dc, "0", 1, &digit);
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    m_model.RecalcLayout(digit.cx, digit.cy, {rc.left, rc.top, rc.right, rc.bottom},
                         dpi::Scale(hexedit::kMargin, m_dpi));
    // Showing or hiding a bar resizes the client area and comes back here
    // through WM_SIZE; posting keeps that out of the current call.
    ::PostMessageW(m_hWnd, kMsgUpdateScrollBars, 0, 0);
}

void CHexEditBase::SyncDpi() {
    if (!IsWindow()) return;
    const int now = dpi::ForWindow(m_hWnd);
    if (now == m_dpi) return;
    m_dpi = now;
    if (!m_hostFont) MakeDefaultFont();
    m_model.MarkLayoutDirty();
}

void CHexEditBase::MakeDefaultFont() {
    HFONT stock = static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
    if (!stock) stock = static_cast<HFONT>(::GetStockObject(SYSTEM_FIXED_FONT));
    LOGFONTW lf{};
    if (m_dpi != dpi::kBase && stock && ::GetObjectW(stock, sizeof lf, &lf) == sizeof lf) {
        // The stock font is a bitmap font made for 96 dpi; scaled, it would
        // either keep its size or turn blocky. A TrueType face of the same
        // kind and the scaled height stays sharp.
        lf.lfHeight = dpi::Scale(lf.lfHeight, m_dpi);
        lf.lfWidth = 0;
        lf.lfOutPrecision = OUT_TT_PRECIS;
        lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        lstrcpynW(lf.lfFaceName, L"Courier New", LF_FACESIZE);
        if (HFONT scaled = ::CreateFontIndirectW(&lf)) {
            m_font = scaled;
            m_ownFont.reset(scaled);
            return;
        }
    }
    m_font = stock;
    m_ownFont.reset();
}

void CHexEditBase::EnsureLayout() {
    SyncDpi();
    if (!m_model.LayoutDirty() || !IsWindow()) return;
    ClientDC dc(m_hWnd);
    if (dc.get()) RecalcLayout(dc.get());
}

void CHexEditBase::UpdateScrollBars() {
    if (!IsWindow()) return;
    EnsureLayout();
    const hexedit::Layout& l = m_model.GetLayout();
    if (l.maxTopRow > 0) {
        ::ShowScrollBar(m_hWnd, SB_VERT, TRUE);
        ::EnableScrollBar(m_hWnd, SB_VERT, ESB_ENABLE_BOTH);
        // Showing the bar may have changed the layout (through WM_SIZE).
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        si.nMin = 0;
        si.nMax = static_cast<int>(l.maxTopRow + l.fullRows) - 1;
        si.nPage = l.fullRows;
        si.nPos = static_cast<int>(m_model.TopRow());
        ::SetScrollInfo(m_hWnd, SB_VERT, &si, TRUE);
    } else {
        ::ShowScrollBar(m_hWnd, SB_VERT, FALSE);
    }
    if (l.maxHorizontalOffset > 0) {
        ::EnableScrollBar(m_hWnd, SB_HORZ, ESB_ENABLE_BOTH);
        ::ShowScrollBar(m_hWnd, SB_HORZ, TRUE);
        const int width = l.area.right - l.area.left;
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        si.nMin = 0;
        si.nMax = l.maxHorizontalOffset + width - 1;
        si.nPage = static_cast<UINT>(width);
        si.nPos = m_model.HorizontalOffset();
        ::SetScrollInfo(m_hWnd, SB_HORZ, &si, TRUE);
    } else {
        ::ShowScrollBar(m_hWnd, SB_HORZ, FALSE);
    }
}

void CHexEditBase::DestroyOwnCaret() {
    // Only a caret this view created: the thread's caret may belong to
    // another control that has the focus.
    if (!m_caretCreated) return;
    m_caretCreated = false;
    ::DestroyCaret();
}

void CHexEditBase::PlaceCaret() {
    if (!IsWindow()) return;
    if (m_model.Empty()) {
        DestroyOwnCaret();
        return;
    }
    EnsureLayout();
    const hexedit::CaretBox box = m_model.ComputeCaret(HasFocus());
    if (!box.visible) {
        DestroyOwnCaret();
        return;
    }
    if (!m_caretCreated || m_caretWidth != box.width || m_caretHeight != box.height) {
        if (!::CreateCaret(m_hWnd, nullptr, box.width, box.height)) return;
        m_caretCreated = true;
        m_caretWidth = box.width;
        m_caretHeight = box.height;
    }
    ::SetCaretPos(box.x, box.y);
    ::ShowCaret(m_hWnd);
}

void CHexEditBase::Apply(unsigned effects) {
    if (!IsWindow()) return;
    if (effects & hexedit::kStopTimer) ::KillTimer(m_hWnd, kAutoScrollTimer);
    if (effects & hexedit::kStartTimer) ::SetTimer(m_hWnd, kAutoScrollTimer, 5, nullptr);
    if (effects & hexedit::kCapture) ::SetCapture(m_hWnd);
    if ((effects & hexedit::kReleaseCapture) && ::GetCapture() == m_hWnd) ::ReleaseCapture();
    if (effects & hexedit::kVScrollPos) ::SetScrollPos(m_hWnd, SB_VERT, static_cast<int>(m_model.TopRow()), TRUE);
    if (effects & hexedit::kHScrollPos) ::SetScrollPos(m_hWnd, SB_HORZ, m_model.HorizontalOffset(), TRUE);
    if (effects & hexedit::kInvalidate) ::InvalidateRect(m_hWnd, nullptr, FALSE);
    if (effects & hexedit::kPlaceCaret) PlaceCaret();
    if (effects & (hexedit::kFocusNext | hexedit::kFocusPrevious)) {
        const BOOL previous = (effects & hexedit::kFocusPrevious) ? TRUE : FALSE;
        HWND next = ::GetNextDlgTabItem(::GetParent(m_hWnd), m_hWnd, previous);
        if (next && next != m_hWnd) ::SetFocus(next);
    }
    if (effects & hexedit::kNotifyChange) NotifyChange();
}

void CHexEditBase::NotifyChange() {
    HWND parent = ::GetParent(m_hWnd);
    if (!parent) return;
    ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(m_hWnd), EN_CHANGE), reinterpret_cast<LPARAM>(m_hWnd));
}

// ---------------------------------------------------------------------------
// Handlers

void CHexEditBase::OnSize() {
    Default();
    SyncDpi();
    {
        ClientDC dc(m_hWnd);
        if (dc.get()) RecalcLayout(dc.get());
    }
    PlaceCaret();
    UpdateScrollBars();
}

void CHexEditBase::OnScroll(int bar, WPARAM wp) {
    const int code = LOWORD(wp);
    if (code > SB_THUMBTRACK) return;
    EnsureLayout();
    if (bar == SB_VERT) {
        uint32_t track = 0;
        if (code == SB_THUMBTRACK) {
            // The message carries only 16 bits; the bar knows all 32.
            SCROLLINFO si{};
            si.cbSize = sizeof si;
            si.fMask = SIF_TRACKPOS;
            ::GetScrollInfo(m_hWnd, SB_VERT, &si);
            track = si.nTrackPos > 0 ? static_cast<uint32_t>(si.nTrackPos) : 0;
        }
        Apply(m_model.ScrollVertical(code, track));
    } else {
        Apply(m_model.ScrollHorizontal(code, HIWORD(wp)));
    }
}

void CHexEditBase::OnSetFont(HFONT font, bool redraw) {
    if (font) {
        LOGFONTW lf{};
        // Only a fixed-pitch font keeps the columns aligned; others are refused.
        if (::GetObjectW(font, sizeof lf, &lf) == sizeof lf && (lf.lfPitchAndFamily & 3) == FIXED_PITCH) {
            if (HFONT copy = ::CreateFontIndirectW(&lf)) {
                m_font = copy;
                m_ownFont.reset(copy);
                m_hostFont = true;
            }
        }
    }
    if (!m_font) m_font = static_cast<HFONT>(::GetStockObject(SYSTEM_FIXED_FONT));
    m_model.MarkLayoutDirty();
    if (IsWindow()) {
        PlaceCaret();
        if (redraw) Invalidate();
    }
}

void CHexEditBase::OnSetFocus() {
    if (m_model.Empty()) return;
    PlaceCaret();
    Invalidate(false);
}

void CHexEditBase::OnKillFocus() {
    DestroyOwnCaret();
    Default();
    Invalidate(false);  // the selection turns to the unfocused colours
}

void CHexEditBase::OnKeyDown(UINT key) {
    EnsureLayout();
    Apply(m_model.KeyDown(KeyFromVirtualKey(key), ShiftDown()));
}

void CHexEditBase::OnChar(UINT code) {
    EnsureLayout();
    Apply(m_model.Char(code, ShiftDown()));
}

void CHexEditBase::OnLButtonDown(POINT p) {
    if (!HasFocus()) ::SetFocus(m_hWnd);
    EnsureLayout();
    Apply(m_model.LButtonDown({p.x, p.y}, ::GetSystemMetrics(SM_CXDRAG), ::GetSystemMetrics(SM_CYDRAG)));
}

void CHexEditBase::OnLButtonUp() { Apply(m_model.LButtonUp()); }

void CHexEditBase::OnLButtonDblClk(POINT p) {
    if (!HasFocus()) ::SetFocus(m_hWnd);
    EnsureLayout();
    Apply(m_model.DoubleClick({p.x, p.y}));
}

void CHexEditBase::OnMouseMove(POINT p, WPARAM keys) {
    EnsureLayout();
    Apply(m_model.MouseMove({p.x, p.y}, (keys & MK_LBUTTON) != 0));
}

void CHexEditBase::OnMouseWheel(int delta) {
    EnsureLayout();
    Apply(m_model.Wheel(delta));
}

void CHexEditBase::OnTimer(UINT_PTR id) {
    if (id != kAutoScrollTimer) return;
    EnsureLayout();
    Apply(m_model.Timer());
}

void CHexEditBase::OnCaptureChanged() {
    // Capture taken away mid-drag (another window, a message box): the
    // button-up will not come here, so the auto-scroll must stop now.
    Apply(m_model.StopAutoScroll());
}

// ---------------------------------------------------------------------------
// Clipboard

void CHexEditBase::SelectAll() { Apply(m_model.SelectAll()); }

void CHexEditBase::Copy() {
    const uint64_t textLength = m_model.CopyTextLength();
    if (textLength == 0) return;
    const uint64_t n = uint64_t(m_model.SelectionEnd()) - m_model.SelectionStart() + 1;
    // Both blocks must be addressable in this process.
    if (n + 4 > SIZE_MAX || textLength + 1 > SIZE_MAX) return;
    GlobalBlock binary(static_cast<SIZE_T>(n + 4));
    GlobalBlock text(static_cast<SIZE_T>(textLength + 1));
    if (!binary.get() || !text.get()) return;
    if (auto* p = static_cast<uint8_t*>(::GlobalLock(binary.get()))) {
        const uint32_t count = static_cast<uint32_t>(n);
        const uint8_t header[4] = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
        std::memcpy(p, header, 4);
        std::memcpy(p + 4, m_model.Bytes() + m_model.SelectionStart(), static_cast<size_t>(n));
        ::GlobalUnlock(binary.get());
    } else {
        return;
    }
    if (auto* p = static_cast<char*>(::GlobalLock(text.get()))) {
        m_model.WriteCopyText(p);
        p[textLength] = '\0';
        ::GlobalUnlock(text.get());
    } else {
        return;
    }
    if (!::OpenClipboard(m_hWnd)) return;
    ::EmptyClipboard();
    // On success the clipboard owns the block.
    if (::SetClipboardData(m_binaryFormat, binary.get())) binary.release();
    if (::SetClipboardData(CF_TEXT, text.get())) text.release();
    ::CloseClipboard();
}

void CHexEditBase::Paste() {
    if (m_model.ReadOnly() || m_model.Empty() || !m_binaryFormat) return;
    if (!::IsClipboardFormatAvailable(m_binaryFormat)) return;
    if (!::OpenClipboard(m_hWnd)) return;
    unsigned effects = hexedit::kNoEffect;
    // The clipboard keeps ownership of its block; it is only locked here.
    if (HANDLE h = ::GetClipboardData(m_binaryFormat)) {
        const SIZE_T size = ::GlobalSize(h);
        if (const auto* block = static_cast<const uint8_t*>(::GlobalLock(h))) {
            effects = m_model.Paste(block, size);
            ::GlobalUnlock(h);
        }
    }
    ::CloseClipboard();
    EnsureLayout();
    Apply(effects);
}

// ---------------------------------------------------------------------------
// Painting

void CHexEditBase::OnPaint() {
    PaintDC paint(m_hWnd);
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    const int width = rc.right, height = rc.bottom;
    if (width <= 0 || height <= 0 || !paint.get()) return;
    if (!m_backBuffer || width != m_backWidth || height != m_backHeight) {
        m_backBuffer.reset(::CreateCompatibleBitmap(paint.get(), width, height));
        m_backWidth = m_backBuffer ? width : 0;
        m_backHeight = m_backBuffer ? height : 0;
    }
    MemoryDC memory(paint.get());
    if (!m_backBuffer || !memory.get()) {
        PaintView(paint.get(), width, height);  // no memory for a back buffer: paint directly
        return;
    }
    SelectGuard bitmap(memory.get(), m_backBuffer.get());
    PaintView(memory.get(), width, height);
    ::BitBlt(paint.get(), 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
}

void CHexEditBase::PaintView(HDC dc, int width, int height) {
    SyncDpi();
    SelectGuard font(dc, m_font);
    if (m_model.LayoutDirty()) RecalcLayout(dc);
    FillSolid(dc, 0, 0, width, height, m_background);

    const hexedit::Layout& l = m_model.GetLayout();
    uint32_t firstRow = 0, lastRow = 0;
    if (!m_model.PaintRows(&firstRow, &lastRow)) return;

    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, l.area.left - 2, l.area.top, l.area.right + 2, l.area.bottom);
    const UINT flags = DT_SINGLELINE | DT_NOPREFIX;
    const int offset = m_model.HorizontalOffset();
    const int lh = l.lineHeight;
    char text[hexedit::kRowTextSize];

    if (m_model.AddressShown()) {
        const int left = l.area.left + l.addressX - offset;
        FillSolid(dc, left, l.area.top, left + l.addressWidth - l.margin, l.area.bottom, m_addressBack);
        ::SetBkMode(dc, OPAQUE);
        ::SetTextColor(dc, m_addressText);
        ::SetBkColor(dc, m_addressBack);
        char address[hexedit::kAddressTextSize];
        int y = l.area.top;
        for (uint64_t row = firstRow; row <= lastRow; ++row, y += lh) {
            const size_t n = m_model.FormatAddress(static_cast<uint32_t>(row), address);
            RECT r{left, y, left + l.addressWidth, y + lh};
            ::DrawTextA(dc, address, static_cast<int>(n), &r, flags);
        }
    }

    {
        const int left = l.area.left + l.hexX - offset;
        FillSolid(dc, left, l.area.top, left + l.hexWidth - l.margin, l.area.bottom, m_hexBack);
        ::SetBkMode(dc, TRANSPARENT);
        const bool focused = HasFocus();
        const COLORREF selBack = focused ? m_selBackFocused : m_selBackUnfocused;
        const COLORREF selText = focused ? m_selTextFocused : m_selTextUnfocused;
        int y = l.area.top;
        for (uint64_t row = firstRow; row <= lastRow; ++row, y += lh) {
            const size_t n = m_model.FormatHexRow(static_cast<uint32_t>(row), text);
            ::SetTextColor(dc, m_hexText);
            RECT r{left, y, left + l.hexWidth, y + lh};
            ::DrawTextA(dc, text, static_cast<int>(n), &r, flags);
            size_t first = 0, end = 0;
            if (m_model.RowSelection(static_cast<uint32_t>(row), &first, &end)) {
                const int x1 = left + static_cast<int>(first) * l.charWidth;
                const int x2 = left + static_cast<int>(end) * l.charWidth;
                FillSolid(dc, x1, y + 1, x2 + 1, y + lh, selBack);
                ::SetTextColor(dc, selText);
                RECT s{x1, y, x2 + 1, y + lh};
                ::DrawTextA(dc, text + first, static_cast<int>(end - first), &s, flags);
            }
        }
    }

    if (m_model.TextShown()) {
        const int left = l.area.left + l.textX - offset;
        FillSolid(dc, left, l.area.top, left + l.textWidth, l.area.bottom, m_charBack);
        ::SetBkMode(dc, OPAQUE);
        ::SetTextColor(dc, m_charText);
        ::SetBkColor(dc, m_charBack);
        int y = l.area.top;
        for (uint64_t row = firstRow; row <= lastRow; ++row, y += lh) {
            const size_t n = m_model.FormatTextRow(static_cast<uint32_t>(row), text);
            RECT r{left, y, left + l.textWidth, y + lh};
            ::DrawTextA(dc, text, static_cast<int>(n), &r, flags);
        }
    }
    ::RestoreDC(dc, saved);
}
