// CHexEditBase in a real window under Wine: messages in, bytes, selection,
// caret, scroll bars, notifications, clipboard and pixels out.
#include "hexedit/HexEditBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kViewId = 1055;
constexpr int kOtherId = 1063;

std::vector<std::pair<WPARAM, LPARAM>> g_commands;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND) g_commands.emplace_back(wp, lp);
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterHostClass() {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HexEditTestHost";
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    ::RegisterClassW(&wc);
    done = true;
}

// Runs every queued message through the same path as the framework's modal
// loop, so PreTranslateMessage sees keys.
void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (WalkPreTranslateTree(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void SetKey(int vk, bool down) {
    BYTE state[256];
    ::GetKeyboardState(state);
    state[vk] = down ? 0x80 : 0;
    ::SetKeyboardState(state);
}

std::vector<uint8_t> Ramp(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
    return v;
}

void PutOnClipboard(UINT format, const void* data, size_t size) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(::GlobalLock(h), data, size);
    ::GlobalUnlock(h);
    ::SetClipboardData(format, h);
    ::CloseClipboard();
}

std::vector<uint8_t> ClipboardBytes(UINT format) {
    std::vector<uint8_t> out;
    if (!::OpenClipboard(nullptr)) return out;
    if (HANDLE h = ::GetClipboardData(format)) {
        const auto* p = static_cast<const uint8_t*>(::GlobalLock(h));
        out.assign(p, p + ::GlobalSize(h));
        ::GlobalUnlock(h);
    }
    ::CloseClipboard();
    return out;
}

std::vector<uint8_t> Block(uint32_t n, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> b(4 + bytes.size());
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(n >> (8 * i));
    for (size_t i = 0; i < bytes.size(); ++i) b[4 + i] = bytes[i];
    return b;
}

class HexEditView : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterHostClass();
        g_commands.clear();
        SetKey(VK_SHIFT, false);
        SetKey(VK_CONTROL, false);
        host = ::CreateWindowExW(0, L"HexEditTestHost", L"hex view test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700,
                                 460, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
        // The same kind of edit window the buffer pages hold.
        HWND edit = ::CreateWindowExW(
            0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_MULTILINE | ES_AUTOHSCROLL, 10, 10,
            640, 300, host, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kViewId)), nullptr, nullptr);
        other = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP, 10, 320, 200, 20,
                                  host, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOtherId)), nullptr, nullptr);
        ASSERT_TRUE(view.SubclassWindow(edit));
        view.ShowAddressColumn(true);
        view.SetAddressDigits(6);
        view.ShowTextColumn(true);
        view.SetBytesPerRow(16);
        ::SetFocus(view);
        Pump();
        // The control's font metrics.
        HDC dc = ::GetDC(view);
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(view.SendMessage(WM_GETFONT)));
        SIZE s{};
        ::GetTextExtentPoint32A(dc, "0", 1, &s);
        ::SelectObject(dc, old);
        ::ReleaseDC(view, dc);
        cw = s.cx;
        lh = s.cy;
    }
    void TearDown() override {
        SetKey(VK_SHIFT, false);
        SetKey(VK_CONTROL, false);
        if (host) ::DestroyWindow(host);
        Pump();
    }

    void Fill(size_t n) {
        auto bytes = Ramp(n);
        ASSERT_TRUE(view.SetBuffer(bytes.data(), static_cast<DWORD>(n)));
        Pump();
    }
    int HexLeft() const { return 5 + 6 * cw + 5; }
    // Client point inside the high digit of column col, screen row r.
    POINT Cell(int col, int r) const { return {HexLeft() + 3 * col * cw + 1, 5 + r * lh + lh / 2}; }
    LPARAM At(POINT p) const { return MAKELPARAM(p.x, p.y); }
    POINT CaretPos() const {
        POINT p{-1, -1};
        ::GetCaretPos(&p);
        return p;
    }
    HWND CaretOwner() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(::GetCurrentThreadId(), &info);
        return info.hwndCaret;
    }
    size_t ChangeNotifications() const {
        size_t n = 0;
        for (auto& c : g_commands) {
            if (c.first == MAKEWPARAM(kViewId, EN_CHANGE) && c.second == reinterpret_cast<LPARAM>(view.GetSafeHwnd()))
                ++n;
        }
        return n;
    }
    uint8_t Byte(DWORD i) {
        std::vector<uint8_t> all(view.GetBufferLength());
        view.CopyBuffer(all.data(), static_cast<DWORD>(all.size()));
        return all.at(i);
    }
    int ClientHeight() const {
        RECT rc;
        ::GetClientRect(view, &rc);
        return rc.bottom;
    }

    HWND host = nullptr;
    HWND other = nullptr;
    CHexEditBase view;
    int cw = 0, lh = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// Keys and typing

TEST_F(HexEditView, TypedDigitsChangeBytesMoveTheCaretAndNotifyTheParent) {
    Fill(64);
    view.SendMessage(WM_CHAR, '1');
    view.SendMessage(WM_CHAR, 'f');
    EXPECT_EQ(Byte(0), 0x1F);
    EXPECT_EQ(ChangeNotifications(), 2u);
    POINT c = CaretPos();
    EXPECT_EQ(c.x, HexLeft() + 3 * cw);  // byte 1, high digit
    EXPECT_EQ(c.y, 5 + 1);
    EXPECT_EQ(CaretOwner(), view.GetSafeHwnd());

    for (WPARAM code : {WPARAM('g'), WPARAM(' '), WPARAM(8)}) view.SendMessage(WM_CHAR, code);
    view.SetReadOnly(true);
    view.SendMessage(WM_CHAR, '7');
    EXPECT_EQ(Byte(1), 0x01);
    EXPECT_EQ(ChangeNotifications(), 2u);
    // Caret movement still works in read-only mode.
    view.SendMessage(WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(CaretPos().x, HexLeft() + 4 * cw);
}

TEST_F(HexEditView, ShiftArrowsSelectAndPageDownMovesOneRowLessThanShown) {
    Fill(4096);
    view.SetCaret(5, false);
    SetKey(VK_SHIFT, true);
    for (int i = 0; i < 3; ++i) view.SendMessage(WM_KEYDOWN, VK_RIGHT);
    SetKey(VK_SHIFT, false);
    EXPECT_TRUE(view.HasSelection());
    EXPECT_EQ(view.GetSelectionStart(), 5u);
    EXPECT_EQ(view.GetSelectionEnd(), 7u);
    view.SendMessage(WM_KEYDOWN, VK_LEFT);
    EXPECT_FALSE(view.HasSelection());

    view.SendMessage(WM_KEYDOWN, VK_HOME);
    const int area = ClientHeight() - 10;
    const int visible = area / lh + (area % lh ? 1 : 0);
    view.SendMessage(WM_KEYDOWN, VK_NEXT);
    EXPECT_EQ(view.GetCaretIndex(), DWORD(16 * (visible - 1)));
}

TEST_F(HexEditView, DialogKeysStayWithTheViewAndTabMovesOn) {
    Fill(16);
    EXPECT_EQ(view.SendMessage(WM_GETDLGCODE), LRESULT(DLGC_WANTALLKEYS));
    view.SendMessage(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(::GetFocus(), other);
    EXPECT_NE(CaretOwner(), view.GetSafeHwnd());
}

// ---------------------------------------------------------------------------
// Mouse

TEST_F(HexEditView, DragBelowTheViewAutoScrollsOnEverySecondTimerTick) {
    Fill(1000 * 16);
    view.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(Cell(2, 3)));
    EXPECT_EQ(::GetCapture(), view.GetSafeHwnd());
    EXPECT_EQ(view.GetCaretIndex(), 3u * 16 + 2);
    const int below = ClientHeight() - 5 + 39;  // 40 px below the text area
    view.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(Cell(4, 0).x, below));
    EXPECT_EQ(::GetScrollPos(view, SB_VERT), 0);
    view.SendMessage(WM_TIMER, CHexEditBase::kAutoScrollTimer);
    EXPECT_EQ(::GetScrollPos(view, SB_VERT), 0);
    view.SendMessage(WM_TIMER, CHexEditBase::kAutoScrollTimer);
    EXPECT_EQ(::GetScrollPos(view, SB_VERT), 1);
    view.SendMessage(WM_TIMER, 77);  // not the auto-scroll timer
    view.SendMessage(WM_TIMER, CHexEditBase::kAutoScrollTimer);
    view.SendMessage(WM_TIMER, CHexEditBase::kAutoScrollTimer);
    EXPECT_EQ(::GetScrollPos(view, SB_VERT), 2);
    EXPECT_EQ(view.GetTopRow(), 2u);
    EXPECT_EQ(view.GetSelectionStart(), 3u * 16 + 2);
    EXPECT_GT(view.GetSelectionEnd(), 16u * 16);
    view.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(Cell(4, 0).x, below));
    EXPECT_EQ(::GetCapture(), nullptr);
    view.SendMessage(WM_TIMER, CHexEditBase::kAutoScrollTimer);
    view.SendMessage(WM_TIMER, CHexEditBase::kAutoScrollTimer);
    EXPECT_EQ(view.GetTopRow(), 2u);  // stopped
}

TEST_F(HexEditView, ClickAndDoubleClickPlaceTheCaretAndSelect) {
    Fill(64);
    ::SetFocus(other);
    view.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(Cell(1, 1)));
    view.SendMessage(WM_LBUTTONUP, 0, At(Cell(1, 1)));
    EXPECT_EQ(::GetFocus(), view.GetSafeHwnd());
    EXPECT_FALSE(view.HasSelection());
    EXPECT_EQ(CaretPos().x, HexLeft() + 3 * cw);
    EXPECT_EQ(CaretPos().y, 5 + lh + 1);
    view.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, At(Cell(6, 2)));
    EXPECT_EQ(view.GetSelectionStart(), 38u);
    EXPECT_EQ(view.GetSelectionEnd(), 38u);
    // The address column lands on the row's first byte.
    view.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, Cell(0, 3).y));
    view.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(8, Cell(0, 3).y));
    EXPECT_EQ(view.GetCaretIndex(), 48u);
}

TEST_F(HexEditView, WheelScrollsWholeNotchesAndMovesTheScrollBar) {
    Fill(1000 * 16);
    view.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)));
    EXPECT_EQ(::GetScrollPos(view, SB_VERT), 1);
    view.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 60));
    EXPECT_EQ(view.GetTopRow(), 1u);
    // Byte 0 has left the view: no caret is drawn.
    EXPECT_NE(CaretOwner(), view.GetSafeHwnd());
}

// ---------------------------------------------------------------------------
// Scroll bars

TEST_F(HexEditView, VerticalRangeFollowsTheRowsAndThumbTrackUses32Bits) {
    Fill(200000 * 16);
    Pump();  // the posted scroll-bar update
    EXPECT_TRUE(::GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(view, SB_VERT, &si));
    const int full = (ClientHeight() - 10) / lh;
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 200000 - 1);
    EXPECT_EQ(si.nPage, UINT(full));
    // Outside a drag the bar reports its position as the track position; the
    // message's own 16 bits would say 150000 & 0xFFFF.
    ::SetScrollPos(view, SB_VERT, 150000, FALSE);
    view.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 150000 & 0xFFFF));
    EXPECT_EQ(view.GetTopRow(), 150000u);
    view.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0));
    EXPECT_EQ(view.GetTopRow(), 150000u + full);
    EXPECT_EQ(::GetScrollPos(view, SB_VERT), int(150000 + full));
    view.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0));
    EXPECT_EQ(view.GetTopRow(), 150000u + full);
}

TEST_F(HexEditView, EmptyViewHidesBothBarsAndAShorterBufferClampsTheView) {
    Fill(1000 * 16);
    Pump();
    ::SetScrollPos(view, SB_VERT, 900, FALSE);
    view.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 900));
    ASSERT_EQ(view.GetTopRow(), 900u);
    Fill(100 * 16);
    ::UpdateWindow(view);
    Pump();
    EXPECT_EQ(view.GetTopRow(), 100u - (ClientHeight() - 10) / lh);
    ASSERT_TRUE(view.SetBuffer(nullptr, 0));
    ::UpdateWindow(view);
    Pump();
    EXPECT_FALSE(::GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL);
    EXPECT_FALSE(::GetWindowLongW(view, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(view.GetBufferLength(), 0u);
    EXPECT_NE(CaretOwner(), view.GetSafeHwnd());
}

TEST_F(HexEditView, NarrowViewGetsAHorizontalBar) {
    ::MoveWindow(view, 10, 10, 200, 300, TRUE);
    Fill(64);
    Pump();
    EXPECT_TRUE(::GetWindowLongW(view, GWL_STYLE) & WS_HSCROLL);
    view.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LINERIGHT, 0));
    EXPECT_EQ(::GetScrollPos(view, SB_HORZ), cw);
}

// ---------------------------------------------------------------------------
// Focus and caret ownership

TEST_F(HexEditView, TheCaretFollowsTheFocusAndAnotherControlsCaretIsLeftAlone) {
    Fill(64);
    EXPECT_EQ(CaretOwner(), view.GetSafeHwnd());
    ::SetFocus(other);
    Pump();
    EXPECT_EQ(CaretOwner(), other);
    // Refilling the unfocused view must not take the focused edit's caret.
    Fill(32);
    view.SetCaret(3, true);
    EXPECT_EQ(CaretOwner(), other);
    ::SetFocus(view);
    EXPECT_EQ(CaretOwner(), view.GetSafeHwnd());
    EXPECT_EQ(CaretPos().x, HexLeft() + 9 * cw);
}

// ---------------------------------------------------------------------------
// Clipboard

TEST_F(HexEditView, CopyPutsTheBinaryBlockAndTheText) {
    const uint8_t byte = 0x5A;
    ASSERT_TRUE(view.SetBuffer(&byte, 1));
    view.SendMessage(WM_COMMAND, CHexEditBase::kCmdSelectAll);
    view.SendMessage(WM_COMMAND, CHexEditBase::kCmdCopy);
    auto block = ClipboardBytes(::RegisterClipboardFormatW(L"BinaryData"));
    ASSERT_GE(block.size(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 5), (std::vector<uint8_t>{1, 0, 0, 0, 0x5A}));
    auto text = ClipboardBytes(CF_TEXT);
    ASSERT_GE(text.size(), 4u);
    EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), "5A\n");
}

TEST_F(HexEditView, CtrlKeysSelectCopyAndPasteThroughPreTranslate) {
    Fill(40);
    SetKey(VK_CONTROL, true);
    ::PostMessageW(view, WM_KEYDOWN, 'A', 0);
    Pump();
    EXPECT_EQ(view.GetSelectionEnd(), 39u);
    SetKey(VK_SHIFT, true);  // Ctrl+Shift+C copies as well
    ::PostMessageW(view, WM_KEYDOWN, 'C', 0);
    Pump();
    SetKey(VK_SHIFT, false);
    auto text = ClipboardBytes(CF_TEXT);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.data())).substr(0, 9), "00 01 02 ");

    auto block = Block(2, {0xAB, 0xCD});
    PutOnClipboard(::RegisterClipboardFormatW(L"BinaryData"), block.data(), block.size());
    view.SetCaret(30, true);  // the selection start wins over the caret
    ::PostMessageW(view, WM_KEYDOWN, 'V', 0);
    Pump();
    SetKey(VK_CONTROL, false);
    EXPECT_EQ(Byte(0), 0xAB);
    EXPECT_EQ(Byte(1), 0xCD);
    EXPECT_EQ(Byte(2), 0x02);
    EXPECT_EQ(view.GetSelectionStart(), 0u);
    EXPECT_EQ(view.GetSelectionEnd(), 1u);
    EXPECT_EQ(ChangeNotifications(), 1u);
}

TEST_F(HexEditView, PasteIsCutAtTheEndAndPutsTheCaretOnTheLastLowDigit) {
    Fill(12);
    auto block = Block(4, {0xA1, 0xA2, 0xA3, 0xA4});
    PutOnClipboard(::RegisterClipboardFormatW(L"BinaryData"), block.data(), block.size());
    view.SetCaret(10, true);
    view.SendMessage(WM_COMMAND, CHexEditBase::kCmdPaste);
    EXPECT_EQ(view.GetBufferLength(), 12u);
    EXPECT_EQ(Byte(10), 0xA1);
    EXPECT_EQ(Byte(11), 0xA2);
    EXPECT_EQ(view.GetSelectionStart(), 10u);
    EXPECT_EQ(view.GetSelectionEnd(), 11u);
    EXPECT_EQ(CaretPos().x, HexLeft() + (3 * 11 + 1) * cw);
    EXPECT_EQ(ChangeNotifications(), 1u);
}

TEST_F(HexEditView, PasteIgnoresTextReadOnlyModeAndLyingOrEmptyBlocks) {
    const UINT binary = ::RegisterClipboardFormatW(L"BinaryData");
    Fill(12);
    view.SetCaret(4, true);
    PutOnClipboard(CF_TEXT, "FF FF\n", 7);
    view.Paste();
    EXPECT_EQ(Byte(4), 4);

    auto empty = Block(0, {0xEE});
    PutOnClipboard(binary, empty.data(), empty.size());
    view.Paste();
    EXPECT_EQ(Byte(4), 4);
    EXPECT_LT(view.GetCaretIndex(), 12u);
    EXPECT_EQ(ChangeNotifications(), 0u);

    // A count far beyond the block: only what the block holds is written.
    auto lying = Block(1000000, {0xE1, 0xE2});
    PutOnClipboard(binary, lying.data(), lying.size());
    view.Paste();
    EXPECT_EQ(Byte(4), 0xE1);
    EXPECT_EQ(Byte(5), 0xE2);
    EXPECT_EQ(view.GetBufferLength(), 12u);

    view.SetReadOnly(true);
    view.SetCaret(8, true);
    view.Paste();
    EXPECT_EQ(Byte(8), 8);
    EXPECT_EQ(ChangeNotifications(), 1u);
}

TEST_F(HexEditView, RightClickShowsNoMenu) {
    Fill(16);
    RECT rc;
    ::GetWindowRect(view, &rc);
    EXPECT_EQ(view.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view.GetSafeHwnd()),
                               MAKELPARAM(rc.left + 20, rc.top + 20)),
              0);
    Pump();
    HWND menu = ::FindWindowW(L"#32768", nullptr);
    EXPECT_TRUE(menu == nullptr || !::IsWindowVisible(menu));
}

// ---------------------------------------------------------------------------
// Threads and memory

TEST_F(HexEditView, JobThreadCallsAreCarriedOutByTheWindowsThread) {
    Fill(64);
    auto bytes = Ramp(100000);
    bytes[99999] = 0x42;
    bool setOk = false;
    DWORD length = 0, copied = 0;
    std::vector<uint8_t> back(100000);
    std::atomic<bool> done{false};
    std::thread job([&] {
        setOk = view.SetBuffer(bytes.data(), 100000);
        length = view.GetBufferLength();
        copied = view.CopyBuffer(back.data(), 100000);
        done = true;
    });
    // The UI thread keeps pumping (and painting) while the job runs.
    const DWORD deadline = ::GetTickCount() + 10000;
    while (!done && ::GetTickCount() < deadline) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        ::InvalidateRect(view, nullptr, FALSE);
        Pump();
    }
    job.join();
    EXPECT_TRUE(setOk);
    EXPECT_EQ(length, 100000u);
    EXPECT_EQ(copied, 100000u);
    EXPECT_EQ(back[99999], 0x42);
    EXPECT_EQ(view.GetCaretIndex(), 0u);

    // Once the window is gone, another thread's call fails instead of racing.
    ::DestroyWindow(host);
    host = nullptr;
    std::thread late([&] { setOk = view.SetBuffer(bytes.data(), 10); });
    late.join();
    EXPECT_FALSE(setOk);
}

TEST_F(HexEditView, FailedAllocationLeavesAnEmptyViewThatStillPaints) {
#ifdef _WIN64
    GTEST_SKIP() << "a 64-bit process can hold any buffer a DWORD can size";
#endif
    Fill(64);
    const uint8_t byte = 1;
    // More than a 32-bit process can hold; the source is never read.
    EXPECT_FALSE(view.SetBuffer(&byte, 0xF0000000u));
    EXPECT_EQ(view.GetBufferLength(), 0u);
    ::InvalidateRect(view, nullptr, FALSE);
    ::UpdateWindow(view);
    view.SendMessage(WM_CHAR, '1');
    view.SendMessage(WM_KEYDOWN, VK_END);
    EXPECT_EQ(ChangeNotifications(), 0u);
}

// ---------------------------------------------------------------------------
// Painting

TEST_F(HexEditView, KnownBytesPaintKnownColoursInKnownCells) {
    const COLORREF background = RGB(255, 255, 0), addressBack = RGB(0, 0, 128), hexBack = RGB(0, 200, 0),
                   hexText = RGB(0, 0, 0), charBack = RGB(200, 0, 200);
    view.SetBackgroundColor(background);
    view.SetAddressColors(RGB(255, 0, 0), addressBack);
    view.SetHexColors(hexText, hexBack);
    view.SetTextColors(RGB(255, 255, 255), charBack);
    Fill(20);
    ::SetFocus(other);  // unfocused selection colours
    view.SetCaret(1, true);
    SetKey(VK_SHIFT, true);
    view.SendMessage(WM_KEYDOWN, VK_RIGHT);
    view.SendMessage(WM_KEYDOWN, VK_RIGHT);
    SetKey(VK_SHIFT, false);
    ASSERT_EQ(view.GetSelectionEnd(), 2u);
    ::RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

    HDC dc = ::GetDC(view);
    auto pixel = [&](int x, int y) { return ::GetPixel(dc, x, y); };
    auto count = [&](int x0, int y0, int x1, int y1, COLORREF c) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += pixel(x, y) == c;
        return n;
    };
    const int rowTop = 5, hex = HexLeft();
    EXPECT_EQ(pixel(2, 2), background);                            // margin
    EXPECT_EQ(pixel(5 + 6 * cw + 2, rowTop + 2), background);      // gap after the address column
    EXPECT_EQ(pixel(6, rowTop + lh + 2 * lh), addressBack);        // address column below the rows
    EXPECT_EQ(pixel(hex + 2 * cw + 1, rowTop + lh / 2), hexBack);  // blank after byte 0
    // The blank between the selected bytes 1 and 2 is selection, the one
    // after byte 2 is not.
    EXPECT_EQ(pixel(hex + 5 * cw + 1, rowTop + lh / 2), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(pixel(hex + 8 * cw + 1, rowTop + lh / 2), hexBack);
    // Digits of byte 0x13 in row 1 are drawn in the hex text colour.
    EXPECT_GT(count(hex + 9 * cw, rowTop + lh, hex + 11 * cw, rowTop + 2 * lh, hexText), 4);
    // Row 1 holds 4 bytes: its hex text ends after 11 characters.
    EXPECT_EQ(count(hex + 11 * cw, rowTop + lh, hex + 47 * cw, rowTop + 2 * lh, hexText), 0);
    EXPECT_EQ(pixel(5 + 6 * cw + 5 + 47 * cw + 5 + 1, rowTop + 3 * lh), charBack);  // character column
    ::ReleaseDC(view, dc);
}
