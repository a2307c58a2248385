// The hex view model without windows: buffer ownership, geometry, caret,
// selection, keys, typing, mouse, scrolling, copy text and paste.
#include "hexedit/HexViewModel.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <string>
#include <vector>

using namespace hexedit;

#if defined(__SANITIZE_ADDRESS__)
// Let a refused allocation fail with null instead of ending the process, so
// that the failure path of SetBuffer can be exercised.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

constexpr int kCw = 8;   // character width
constexpr int kLh = 16;  // line height

std::vector<uint8_t> Ramp(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
    return v;
}

// A view configured like the tool's buffer pages: six address digits, the
// character column, 16 bytes a row. 20 full rows (plus a partial one when
// partialPixels > 0); wide enough that nothing scrolls sideways.
struct View {
    HexViewModel m;
    explicit View(size_t length, int partialPixels = 0, int width = 600) {
        m.ShowAddressColumn(true);
        m.SetAddressDigits(6);
        m.ShowTextColumn(true);
        m.SetBytesPerRow(16);
        if (length) {
            auto bytes = Ramp(length);
            EXPECT_TRUE(m.SetBuffer(bytes.data(), static_cast<uint32_t>(length)));
        }
        m.RecalcLayout(kCw, kLh, {0, 0, width, 2 * kMargin + 20 * kLh + partialPixels});
    }
    // Client point of the high digit of byte column col in screen row r.
    Point Cell(int col, int r) const {
        const Layout& l = m.GetLayout();
        return {l.area.left + l.hexX + 3 * col * kCw + 1, l.area.top + r * kLh + 3};
    }
    std::string CopyText() const {
        std::string s(static_cast<size_t>(m.CopyTextLength()), '?');
        m.WriteCopyText(s.data());
        return s;
    }
    void Caret(uint32_t index, bool high) { m.SetCaretIndex(index, high); }
};

std::vector<uint8_t> Block(uint32_t n, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> b = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    b.insert(b.end(), bytes.begin(), bytes.end());
    return b;
}

}  // namespace

// ---------------------------------------------------------------------------
// Buffer ownership

TEST(HexModelBuffer, KeepsAPrivateCopyAndCopiesBackUpToTheGivenLength) {
    HexViewModel m;
    std::vector<uint8_t> src = {1, 2, 3, 4, 5};
    ASSERT_TRUE(m.SetBuffer(src.data(), 5));
    src[0] = 99;  // the caller's array is not the buffer
    uint8_t out[8] = {0};
    EXPECT_EQ(m.CopyBuffer(out, 3), 5u);  // full length, not the count copied
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(m.CopyBuffer(out, 8), 5u);
    EXPECT_EQ(out[4], 5);
    EXPECT_EQ(m.Length(), 5u);
}

TEST(HexModelBuffer, NullOrZeroLengthLeavesNoBytes) {
    HexViewModel m;
    const uint8_t one = 7;
    ASSERT_TRUE(m.SetBuffer(&one, 1));
    ASSERT_TRUE(m.SetBuffer(nullptr, 100));
    EXPECT_EQ(m.Length(), 0u);
    uint8_t out = 0x55;
    EXPECT_EQ(m.CopyBuffer(&out, 1), 0u);
    EXPECT_EQ(out, 0x55);
    ASSERT_TRUE(m.SetBuffer(&one, 0));
    EXPECT_EQ(m.Length(), 0u);
    EXPECT_TRUE(m.Empty());
}

TEST(HexModelBuffer, ReplacingResetsSelectionAnchorAndCaretButClampsScrollLater) {
    View v(1000 * 16);
    v.m.KeyDown(Key::Right, true);  // sets an anchor
    v.m.SelectAll();
    v.m.ScrollVertical(kThumbTrack, 900);
    ASSERT_EQ(v.m.TopRow(), 900u);
    auto shorter = Ramp(100 * 16);
    ASSERT_TRUE(v.m.SetBuffer(shorter.data(), 100 * 16));
    EXPECT_FALSE(v.m.HasSelection());
    EXPECT_EQ(v.m.Anchor(), kNone);
    EXPECT_EQ(v.m.CaretIndex(), 0u);
    EXPECT_TRUE(v.m.CaretHigh());
    EXPECT_TRUE(v.m.LayoutDirty());
    v.m.RecalcLayout(kCw, kLh, {0, 0, 600, 2 * kMargin + 20 * kLh});
    EXPECT_EQ(v.m.TopRow(), 80u);                  // the new maximum
    EXPECT_FALSE(v.m.ComputeCaret(true).visible);  // byte 0 is above the view
}

TEST(HexModelBuffer, FailedAllocationLeavesTheModelEmptyAndSaysSo) {
    View v(64);
    v.m.SelectAll();
    const uint8_t byte = 1;
    // No more address space for this process while SetBuffer runs: the copy
    // cannot be made. The source is never read because allocation fails first.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    const bool ok = v.m.SetBuffer(&byte, 0xF0000000u);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(v.m.Length(), 0u);
    EXPECT_EQ(v.m.Bytes(), nullptr);
    EXPECT_FALSE(v.m.HasSelection());
    uint8_t out = 0;
    EXPECT_EQ(v.m.CopyBuffer(&out, 1), 0u);
    EXPECT_EQ(v.m.Char('1', false), 0u);
    EXPECT_EQ(v.m.Paste(Block(1, {9}).data(), 5), 0u);
}

// ---------------------------------------------------------------------------
// Geometry

TEST(HexModelLayout, ColumnsRowsAndScrollLimits) {
    View v(1000 * 16, 8);
    const Layout& l = v.m.GetLayout();
    EXPECT_EQ(l.area.left, 5);
    EXPECT_EQ(l.area.top, 5);
    EXPECT_EQ(l.fullRows, 20u);
    EXPECT_EQ(l.visibleRows, 21u);
    EXPECT_EQ(l.lastRowHeight, 8);
    EXPECT_EQ(l.addressWidth, 6 * kCw + 5);
    EXPECT_EQ(l.hexX, 6 * kCw + 5);
    EXPECT_EQ(l.hexWidth, 47 * kCw + 5);
    EXPECT_EQ(l.textX, l.hexX + l.hexWidth);
    EXPECT_EQ(l.textWidth, 16 * kCw);
    EXPECT_EQ(l.totalWidth, l.textX + l.textWidth);
    EXPECT_EQ(l.maxTopRow, 980u);  // 1000 rows, 20 full rows
    EXPECT_EQ(l.maxHorizontalOffset, 0);
}

TEST(HexModelLayout, ExactFitHasNoPartialRowAndNarrowViewScrollsSideways) {
    View v(16, 0, 300);
    const Layout& l = v.m.GetLayout();
    EXPECT_EQ(l.visibleRows, 20u);
    EXPECT_EQ(l.lastRowHeight, kLh);
    EXPECT_EQ(l.maxHorizontalOffset, l.totalWidth - 290);
}

TEST(HexModelLayout, TinyClientHasNoFullRowAndEveryRowIsScrollRange) {
    HexViewModel m;
    auto bytes = Ramp(40);
    m.SetBuffer(bytes.data(), 40);
    m.RecalcLayout(kCw, kLh, {0, 0, 100, 8});
    EXPECT_EQ(m.GetLayout().fullRows, 0u);
    EXPECT_EQ(m.GetLayout().visibleRows, 0u);
    EXPECT_EQ(m.GetLayout().maxTopRow, 3u);  // three rows, none fits
}

TEST(HexModelLayout, ZeroBytesPerRowAndZeroMetricsAreSafe) {
    HexViewModel m;
    m.SetBytesPerRow(0);
    auto bytes = Ramp(4);
    m.SetBuffer(bytes.data(), 4);
    m.RecalcLayout(0, 0, {0, 0, 50, 50});
    EXPECT_EQ(m.GetLayout().bytesPerRow, 1u);
    EXPECT_EQ(m.TotalRows(), 4u);
    Hit h = m.HitTest({20, 20});
    EXPECT_LT(h.index, 4u);
    m.SetBytesPerRow(100000);  // beyond what a row text buffer holds
    EXPECT_EQ(m.BytesPerRow(), kMaxBytesPerRow);
}

TEST(HexModelLayout, AScaledMarginInsetsTheAreaWidensTheColumnGapsAndKeepsHitsAndCaretInStep) {
    // The window at 200 %: characters and margin twice their 96-dpi size.
    for (int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        HexViewModel m;
        m.ShowAddressColumn(true);
        m.SetAddressDigits(6);
        auto bytes = Ramp(64);
        m.SetBuffer(bytes.data(), 64);
        const int cw = kCw * scale, lh = kLh * scale, margin = kMargin * scale;
        m.RecalcLayout(cw, lh, {0, 0, 800 * scale, 2 * margin + 4 * lh}, margin);
        const Layout& l = m.GetLayout();
        EXPECT_EQ(l.margin, margin);
        EXPECT_EQ(l.area.left, margin);
        EXPECT_EQ(l.area.bottom, 2 * margin + 4 * lh - margin);
        EXPECT_EQ(l.fullRows, 4u);
        EXPECT_EQ(l.addressWidth, 6 * cw + margin);
        EXPECT_EQ(l.hexX, 6 * cw + margin);
        EXPECT_EQ(l.hexWidth, 47 * cw + margin);
        EXPECT_EQ(l.slack, 2 * scale);
        // Just left of the middle of the high digit of byte 0x13 (row 1,
        // column 3) still means that digit: a margin counted at its 96-dpi
        // size would move the point into the low digit.
        const Hit hit = m.HitTest({l.area.left + l.hexX + 9 * cw + cw / 2 - 3, l.area.top + lh + 1});
        EXPECT_EQ(hit.index, 0x13u);
        EXPECT_TRUE(hit.highNibble);
        m.SetCaretIndex(0x13, false);
        const CaretBox box = m.ComputeCaret(true);
        EXPECT_TRUE(box.visible);
        EXPECT_EQ(box.x, l.area.left + l.hexX + (3 * 3 + 1) * cw);
        EXPECT_EQ(box.y, l.area.top + lh + 1);
        EXPECT_EQ(box.width, cw);
    }
}

// ---------------------------------------------------------------------------
// Row texts

TEST(HexModelRows, AddressHexAndCharacterTexts) {
    View v(0x25);
    char addr[kAddressTextSize];
    char row[kRowTextSize];
    v.m.FormatAddress(0, addr);
    EXPECT_STREQ(addr, "000000");
    v.m.FormatAddress(2, addr);
    EXPECT_STREQ(addr, "000020");
    v.m.FormatAddress(0x100000, addr);  // byte 0x1000000 needs a seventh digit
    EXPECT_STREQ(addr, "1000000");

    EXPECT_EQ(v.m.FormatHexRow(0, row), 47u);
    EXPECT_STREQ(row, "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    EXPECT_EQ(v.m.FormatHexRow(2, row), 14u);  // short last row: no trailing blank
    EXPECT_STREQ(row, "20 21 22 23 24");
    EXPECT_EQ(v.m.FormatHexRow(3, row), 0u);

    EXPECT_EQ(v.m.FormatTextRow(2, row), 5u);
    EXPECT_STREQ(row, " !\"#$");
    v.m.FormatTextRow(0, row);
    EXPECT_STREQ(row, "................");
}

TEST(HexModelRows, PaintRowsFollowTheViewNotTheBufferSize) {
    View v(1000 * 16, 8);
    uint32_t first = 0, last = 0;
    ASSERT_TRUE(v.m.PaintRows(&first, &last));
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(last, 21u);
    View small(20, 8);
    ASSERT_TRUE(small.m.PaintRows(&first, &last));
    EXPECT_EQ(last, 1u);
    View empty(0);
    EXPECT_FALSE(empty.m.PaintRows(&first, &last));
}

TEST(HexModelRows, SelectionCoversTheBlanksBetweenBytesOnly) {
    View v(64);
    v.m.LButtonDown(v.Cell(14, 0), 4, 4);
    v.m.MouseMove(v.Cell(2, 1), true);
    size_t a = 0, b = 0;
    ASSERT_TRUE(v.m.RowSelection(0, &a, &b));
    EXPECT_EQ(a, 42u);
    EXPECT_EQ(b, 47u);
    ASSERT_TRUE(v.m.RowSelection(1, &a, &b));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 8u);  // just after the low digit of column 2
    EXPECT_FALSE(v.m.RowSelection(2, &a, &b));
}

// ---------------------------------------------------------------------------
// Hit test

TEST(HexModelHitTest, RoundsToTheNearestDigitAndMapsSideColumns) {
    View v(40);
    const Layout& l = v.m.GetLayout();
    const int hex = l.area.left + l.hexX;
    struct Case {
        Point p;
        uint32_t index;
        bool high;
    } cases[] = {
        {{hex + 1, 8}, 0, true},                      // left half of byte 0's high digit
        {{hex + kCw / 2, 8}, 0, false},               // its right half already means the low digit
        {{hex + kCw + 2, 8}, 0, false},               // low digit
        {{hex + 2 * kCw + kCw / 2, 8}, 1, true},      // right half of the blank: next byte's high digit
        {{hex + 3 * kCw, 8 + kLh}, 17, true},         // second row
        {{8, 8 + kLh}, 16, true},                     // address column: the row's first byte
        {{l.area.left + l.textX + 3, 8}, 15, false},  // character column: the row's last byte
        {{hex + 30 * kCw, 8 + 2 * kLh}, 39, false},   // past the end of the buffer
        {{hex + 1, -50}, 0, true},                    // above the view: clamped to the first row
    };
    for (const Case& c : cases) {
        Hit h = v.m.HitTest(c.p);
        EXPECT_EQ(h.index, c.index) << c.p.x << "," << c.p.y;
        EXPECT_EQ(h.highNibble, c.high) << c.p.x << "," << c.p.y;
    }
}

// ---------------------------------------------------------------------------
// Keys

TEST(HexModelKeys, OneByteBufferKeepsTheCaretOnItsTwoDigits) {
    struct Case {
        Key key;
        bool startHigh;
        bool endHigh;
    } cases[] = {
        {Key::Right, false, false}, {Key::End, true, false}, {Key::Down, false, false},     {Key::Left, true, true},
        {Key::Home, false, true},   {Key::Up, true, true},   {Key::PageDown, false, false}, {Key::PageUp, true, true},
    };
    for (const Case& c : cases) {
        View v(1, 8);
        v.Caret(0, c.startHigh);
        v.m.KeyDown(c.key, false);
        EXPECT_EQ(v.m.CaretIndex(), 0u) << int(c.key);
        EXPECT_EQ(v.m.CaretHigh(), c.endHigh) << int(c.key);
    }
}

TEST(HexModelKeys, PageMovesOneRowLessThanTheRowsOnScreen) {
    View v(100 * 16, 8);  // 21 visible rows
    v.Caret(5, false);
    v.m.KeyDown(Key::PageDown, false);
    EXPECT_EQ(v.m.CaretIndex(), 5u + 20 * 16);
    EXPECT_FALSE(v.m.CaretHigh());
    v.m.KeyDown(Key::PageUp, false);
    EXPECT_EQ(v.m.CaretIndex(), 5u);
}

TEST(HexModelKeys, PageMovesNothingWithOneOrNoVisibleRow) {
    for (int height : {12, 8}) {  // one partial row; no row at all
        HexViewModel m;
        auto bytes = Ramp(64);
        m.SetBuffer(bytes.data(), 64);
        m.RecalcLayout(kCw, kLh, {0, 0, 600, height});
        m.SetCaretIndex(20, true);
        m.KeyDown(Key::PageDown, false);
        EXPECT_EQ(m.CaretIndex(), 20u) << height;
        m.KeyDown(Key::PageUp, false);
        EXPECT_EQ(m.CaretIndex(), 20u) << height;
        EXPECT_TRUE(m.CaretHigh());
    }
}

TEST(HexModelKeys, ShiftRightThreeTimesFromALowDigitSelectsThreeBytes) {
    View v(64);
    v.Caret(5, false);
    v.m.KeyDown(Key::Right, true);
    v.m.KeyDown(Key::Right, true);
    EXPECT_EQ(v.m.CaretIndex(), 6u);
    EXPECT_FALSE(v.m.CaretHigh());
    v.m.KeyDown(Key::Right, true);
    EXPECT_EQ(v.m.SelectionStart(), 5u);
    EXPECT_EQ(v.m.SelectionEnd(), 7u);
    v.m.KeyDown(Key::Left, false);
    EXPECT_FALSE(v.m.HasSelection());
    EXPECT_EQ(v.m.Anchor(), kNone);
}

TEST(HexModelKeys, ClickThenShiftDownSelectsToTheByteOneRowBelow) {
    View v(64);
    v.m.LButtonDown(v.Cell(3, 0), 4, 4);
    v.m.LButtonUp();
    v.m.KeyDown(Key::Down, true);
    EXPECT_EQ(v.m.SelectionStart(), 3u);
    EXPECT_EQ(v.m.SelectionEnd(), 19u);
}

TEST(HexModelKeys, TabAsksForTheNextOrPreviousControlAndOtherKeysDoNothing) {
    View v(64);
    EXPECT_EQ(v.m.KeyDown(Key::Tab, false), unsigned(kFocusNext));
    EXPECT_EQ(v.m.KeyDown(Key::Tab, true), unsigned(kFocusPrevious));
    View w(64);
    EXPECT_EQ(w.m.KeyDown(Key::Other, false), 0u);
    View empty(0);
    EXPECT_EQ(empty.m.KeyDown(Key::Down, false), 0u);
}

TEST(HexModelKeys, MovingDownOntoTheRowBelowTheFullRowsScrollsIt) {
    View v(100 * 16);  // exactly 20 rows fit, no partial row
    v.Caret(19 * 16, true);
    unsigned e = v.m.KeyDown(Key::Down, false);
    EXPECT_EQ(v.m.CaretIndex(), 20u * 16);
    EXPECT_EQ(v.m.TopRow(), 1u);
    EXPECT_TRUE(e & kVScrollPos);
    EXPECT_TRUE(v.m.ComputeCaret(true).visible);
    v.m.KeyDown(Key::End, false);
    EXPECT_EQ(v.m.TopRow(), 80u);
    v.m.KeyDown(Key::Home, false);
    EXPECT_EQ(v.m.TopRow(), 0u);
}

TEST(HexModelKeys, CaretFollowsSidewaysInANarrowView) {
    View v(64, 0, 200);
    v.Caret(15, false);
    v.m.KeyDown(Key::Right, false);  // to byte 16 at column 0: scroll back left
    v.m.KeyDown(Key::End, false);    // byte 63, far right
    EXPECT_GT(v.m.HorizontalOffset(), 0);
    EXPECT_TRUE(v.m.ComputeCaret(true).visible);
    v.m.KeyDown(Key::Home, false);  // byte 0 comes back to the left edge
    CaretBox c = v.m.ComputeCaret(true);
    ASSERT_TRUE(c.visible);
    EXPECT_EQ(c.x, v.m.GetLayout().area.left);
}

// ---------------------------------------------------------------------------
// Typing

TEST(HexModelTyping, DigitsOverwriteNibblesAndMoveTheCaret) {
    View v(4);
    EXPECT_EQ(v.m.Char('1', false) & kNotifyChange, unsigned(kNotifyChange));
    EXPECT_FALSE(v.m.CaretHigh());
    v.m.Char('f', false);
    EXPECT_EQ(v.m.Bytes()[0], 0x1F);
    EXPECT_EQ(v.m.CaretIndex(), 1u);
    EXPECT_TRUE(v.m.CaretHigh());
    v.m.Char('A', false);
    v.m.Char('F', false);
    EXPECT_EQ(v.m.Bytes()[1], 0xAF);
    v.Caret(3, false);
    v.m.Char('9', false);  // low digit of the last byte: changes it, caret stays
    EXPECT_EQ(v.m.Bytes()[3], 0x09);
    EXPECT_EQ(v.m.CaretIndex(), 3u);
    EXPECT_FALSE(v.m.CaretHigh());
}

TEST(HexModelTyping, NonHexCharactersBackspaceAndReadOnlyChangeNothing) {
    View v(4);
    for (uint32_t code : {uint32_t('g'), uint32_t(' '), 8u, 0x100u + 'a', uint32_t('\t')}) {
        EXPECT_EQ(v.m.Char(code, false), 0u) << code;
    }
    v.m.SetReadOnly(true);
    EXPECT_EQ(v.m.Char('5', false), 0u);
    EXPECT_EQ(v.m.Bytes()[0], 0);
    EXPECT_EQ(v.m.CaretIndex(), 0u);
    EXPECT_TRUE(v.m.CaretHigh());
}

TEST(HexModelTyping, ACaretSetPastTheEndCannotWritePastTheEnd) {
    View v(4);
    v.m.SetCaretIndex(1000, true);
    EXPECT_EQ(v.m.CaretIndex(), 3u);
    v.m.Char('7', false);
    EXPECT_EQ(v.m.Bytes()[3], 0x07);
}

TEST(HexModelTyping, TypingWithoutShiftDropsTheSelection) {
    View v(8);
    v.m.SelectAll();
    v.m.Char('4', false);
    EXPECT_FALSE(v.m.HasSelection());
    EXPECT_EQ(v.m.Bytes()[0], 0x40);
}

// ---------------------------------------------------------------------------
// Mouse

TEST(HexModelMouse, SmallMovesInsideTheThresholdSelectNothing) {
    View v(64);
    Point p = v.Cell(4, 1);
    unsigned e = v.m.LButtonDown(p, 4, 4);
    EXPECT_TRUE(e & kCapture);
    EXPECT_EQ(v.m.CaretIndex(), 20u);
    EXPECT_EQ(v.m.MouseMove({p.x + 1, p.y + 1}, true), 0u);
    EXPECT_EQ(v.m.MouseMove({p.x - 2, p.y}, true), 0u);
    EXPECT_FALSE(v.m.HasSelection());
    v.m.MouseMove(v.Cell(6, 1), true);
    EXPECT_EQ(v.m.SelectionStart(), 20u);
    EXPECT_EQ(v.m.SelectionEnd(), 22u);
    // Dragging back before the anchor orders the range.
    v.m.MouseMove(v.Cell(1, 0), true);
    EXPECT_EQ(v.m.SelectionStart(), 1u);
    EXPECT_EQ(v.m.SelectionEnd(), 20u);
    EXPECT_TRUE(v.m.LButtonUp() & kReleaseCapture);
    EXPECT_EQ(v.m.Anchor(), 20u);
    // Moves without the button do nothing.
    EXPECT_EQ(v.m.MouseMove(v.Cell(9, 2), false), 0u);
}

TEST(HexModelMouse, AutoScrollStepsFasterFartherFromTheView) {
    struct Case {
        int below;
        int ticksPerStep;
    } cases[] = {{40, 2}, {30, 2}, {2, 8}, {12, 6}};
    for (const Case& c : cases) {
        View v(1000 * 16);
        const Layout& l = v.m.GetLayout();
        v.m.LButtonDown(v.Cell(0, 10), 4, 4);
        unsigned e = v.m.MouseMove({v.Cell(3, 0).x, l.area.bottom + c.below - 1}, true);
        EXPECT_TRUE(e & kStartTimer) << c.below;
        EXPECT_EQ(v.m.AutoScrollDirection(), 1);
        int steps = 0;
        for (int tick = 0; tick < 8 * c.ticksPerStep; ++tick) {
            if (v.m.Timer() & kVScrollPos) ++steps;
        }
        EXPECT_EQ(steps, 8) << c.below;
        EXPECT_EQ(v.m.TopRow(), 8u) << c.below;
        EXPECT_GT(v.m.SelectionEnd(), 20u * 16);
    }
}

TEST(HexModelMouse, AutoScrollUpStopsInsideTheViewAndOnButtonUp) {
    View v(1000 * 16);
    v.m.ScrollVertical(kThumbTrack, 50);
    v.m.LButtonDown(v.Cell(0, 5), 4, 4);
    EXPECT_TRUE(v.m.MouseMove({v.Cell(0, 0).x, 0}, true) & kStartTimer);
    EXPECT_EQ(v.m.AutoScrollDirection(), -1);
    EXPECT_EQ(v.m.AutoScrollInterval(), 6u);  // 5 px above: distance 6, speed 1
    // A second move outside only updates the running timer, which keeps its
    // countdown and takes the new interval at its next reload.
    EXPECT_FALSE(v.m.MouseMove({v.Cell(0, 0).x, -40}, true) & kStartTimer);
    EXPECT_EQ(v.m.AutoScrollInterval(), 1u);
    for (int i = 0; i < 7; ++i) v.m.Timer();
    EXPECT_EQ(v.m.TopRow(), 49u);
    EXPECT_EQ(v.m.SelectionStart(), 49u * 16);
    v.m.Timer();
    v.m.Timer();
    EXPECT_EQ(v.m.TopRow(), 48u);
    EXPECT_TRUE(v.m.MouseMove(v.Cell(0, 3), true) & kStopTimer);
    EXPECT_FALSE(v.m.AutoScrollActive());
    v.m.MouseMove({v.Cell(0, 0).x, -40}, true);
    EXPECT_TRUE(v.m.LButtonUp() & kStopTimer);
    EXPECT_EQ(v.m.Timer(), 0u);
}

TEST(HexModelMouse, SidewaysOutsideTheViewKeepsTheTimerAsItIs) {
    View v(64);
    v.m.LButtonDown(v.Cell(0, 1), 4, 4);
    unsigned e = v.m.MouseMove({700, v.Cell(0, 1).y}, true);
    EXPECT_FALSE(e & (kStartTimer | kStopTimer));
    EXPECT_EQ(v.m.SelectionEnd(), 31u);  // right of everything: the row's last byte
}

TEST(HexModelMouse, ReplacingTheBufferMidDragEndsTheGesture) {
    View v(1000 * 16);
    v.m.LButtonDown(v.Cell(0, 5), 4, 4);
    v.m.MouseMove({10, 1000}, true);
    ASSERT_TRUE(v.m.AutoScrollActive());
    auto bytes = Ramp(10);
    v.m.SetBuffer(bytes.data(), 10);
    v.m.RecalcLayout(kCw, kLh, {0, 0, 600, 330});
    EXPECT_EQ(v.m.Timer(), 0u);
    EXPECT_EQ(v.m.MouseMove({10, 50}, true), 0u);
    EXPECT_FALSE(v.m.HasSelection());
}

TEST(HexModelMouse, DoubleClickSelectsExactlyTheClickedByte) {
    View v(64);
    v.m.KeyDown(Key::Right, true);  // anchor 0
    v.m.DoubleClick(v.Cell(7, 2));
    EXPECT_EQ(v.m.SelectionStart(), 39u);
    EXPECT_EQ(v.m.SelectionEnd(), 39u);
    EXPECT_EQ(v.m.Anchor(), 0u);
}

TEST(HexModelMouse, WheelScrollsWholeNotchesOnly) {
    View v(1000 * 16);
    v.m.Wheel(-120);
    EXPECT_EQ(v.m.TopRow(), 1u);
    v.m.Wheel(60);
    EXPECT_EQ(v.m.TopRow(), 1u);
    v.m.Wheel(-360);
    EXPECT_EQ(v.m.TopRow(), 4u);
    v.m.Wheel(1200);
    EXPECT_EQ(v.m.TopRow(), 0u);
}

// ---------------------------------------------------------------------------
// Scrolling

TEST(HexModelScroll, RequestsMoveAndClampTheTopRow) {
    View v(1000 * 16);
    struct Case {
        int code;
        uint32_t track;
        uint32_t top;
    } cases[] = {
        {kLineDown, 0, 1},         {kPageDown, 0, 21},      {kLineUp, 0, 20},         {kPageUp, 0, 0},
        {kLineUp, 0, 0},           {kThumbTrack, 500, 500}, {kThumbPosition, 7, 500}, {6, 0, 500},
        {kThumbTrack, 70000, 980}, {kPageDown, 0, 980},
    };
    for (const Case& c : cases) {
        v.m.ScrollVertical(c.code, c.track);
        EXPECT_EQ(v.m.TopRow(), c.top) << c.code;
    }
}

TEST(HexModelScroll, ThumbTrackReachesRowsBeyondSixteenBits) {
    View v(200000 * 16);
    v.m.ScrollVertical(kThumbTrack, 150000);
    EXPECT_EQ(v.m.TopRow(), 150000u);
}

TEST(HexModelScroll, HorizontalRequestsUseCharactersAndTheAreaWidth) {
    View v(64, 0, 200);
    const int max = v.m.GetLayout().maxHorizontalOffset;
    v.m.ScrollHorizontal(kLineDown, 0);
    EXPECT_EQ(v.m.HorizontalOffset(), kCw);
    v.m.ScrollHorizontal(kPageDown, 0);
    EXPECT_EQ(v.m.HorizontalOffset(), std::min(kCw + 190, max));
    v.m.ScrollHorizontal(kThumbTrack, 100000);
    EXPECT_EQ(v.m.HorizontalOffset(), max);
    v.m.ScrollHorizontal(kPageUp, 0);
    v.m.ScrollHorizontal(kPageUp, 0);
    EXPECT_EQ(v.m.HorizontalOffset(), 0);
}

TEST(HexModelScroll, NothingScrollsWithoutBytes) {
    View v(0);
    EXPECT_EQ(v.m.ScrollVertical(kLineDown, 0), 0u);
    EXPECT_EQ(v.m.ScrollHorizontal(kLineDown, 0), 0u);
}

// ---------------------------------------------------------------------------
// Copy text

TEST(HexModelCopy, TextLinesFollowTheRowsOfTheView) {
    View v(0x22);
    struct Case {
        uint32_t s, e;
        std::string text;
    } cases[] = {
        {14, 33, std::string(42, ' ') + "0E 0F\n10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n20 21\n"},
        {3, 5, "03 04 05\n"},
        // Exactly one row and one byte: no indentation.
        {14, 30, "0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D\n1E\n"},
        {0, 15, "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"},
    };
    for (const Case& c : cases) {
        v.Caret(c.s, true);
        v.m.KeyDown(Key::Other, true);
        v.m.MoveCaret(int64_t(c.e) - c.s, true, true);
        ASSERT_EQ(v.m.SelectionStart(), c.s);
        ASSERT_EQ(v.m.SelectionEnd(), c.e);
        EXPECT_EQ(v.CopyText(), c.text);
        v.m.KeyDown(Key::Left, false);
    }
}

TEST(HexModelCopy, OneByteAndNoSelection) {
    HexViewModel m;
    const uint8_t b = 0x5A;
    m.SetBuffer(&b, 1);
    m.RecalcLayout(kCw, kLh, {0, 0, 600, 100});
    EXPECT_EQ(m.CopyTextLength(), 0u);
    m.SelectAll();
    std::string s(static_cast<size_t>(m.CopyTextLength()), '?');
    m.WriteCopyText(s.data());
    EXPECT_EQ(s, "5A\n");
}

// ---------------------------------------------------------------------------
// Paste

TEST(HexModelPaste, OverwritesWithoutGrowingAndSelectsWhatItWrote) {
    View v(12);
    v.Caret(10, true);
    auto block = Block(4, {0xA1, 0xA2, 0xA3, 0xA4});
    unsigned e = v.m.Paste(block.data(), block.size());
    EXPECT_TRUE(e & kNotifyChange);
    EXPECT_EQ(v.m.Length(), 12u);
    EXPECT_EQ(v.m.Bytes()[9], 9);
    EXPECT_EQ(v.m.Bytes()[10], 0xA1);
    EXPECT_EQ(v.m.Bytes()[11], 0xA2);
    EXPECT_EQ(v.m.SelectionStart(), 10u);
    EXPECT_EQ(v.m.SelectionEnd(), 11u);
    EXPECT_EQ(v.m.CaretIndex(), 11u);
    EXPECT_FALSE(v.m.CaretHigh());
}

TEST(HexModelPaste, WritesAtTheSelectionStartWhateverTheCaret) {
    View v(64);
    v.Caret(20, true);
    v.m.KeyDown(Key::Other, true);
    v.m.MoveCaret(20, true, true);
    v.m.SetCaretIndex(3, true);
    auto block = Block(3, {1, 2, 3});
    v.m.Paste(block.data(), block.size());
    EXPECT_EQ(v.m.Bytes()[20], 1);
    EXPECT_EQ(v.m.Bytes()[22], 3);
    EXPECT_EQ(v.m.Bytes()[23], 23);
    EXPECT_EQ(v.m.SelectionStart(), 20u);
    EXPECT_EQ(v.m.SelectionEnd(), 22u);
}

TEST(HexModelPaste, UntrustworthyBlocksNeverReadOrWriteOutOfBounds) {
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        uint8_t byte5;  // byte 5 afterwards
        bool notify;
    } cases[] = {
        {"count larger than the block", Block(1000, {0xEE, 0xEF}), 0xEF, true},
        {"count of zero", Block(0, {0xEE}), 5, false},
        {"shorter than the count field", {2, 0}, 5, false},
        {"huge count", Block(0xFFFFFFFFu, {0xEE}), 5, true},
    };
    for (const Case& c : cases) {
        View v(12);
        v.Caret(4, true);
        unsigned e = v.m.Paste(c.block.data(), c.block.size());
        EXPECT_EQ(v.m.Bytes()[5], c.byte5) << c.what;
        EXPECT_EQ(bool(e & kNotifyChange), c.notify) << c.what;
        EXPECT_LT(v.m.CaretIndex(), 12u) << c.what;
        if (v.m.HasSelection()) {
            EXPECT_LE(v.m.SelectionStart(), v.m.SelectionEnd()) << c.what;
            EXPECT_LT(v.m.SelectionEnd(), 12u) << c.what;
        }
    }
}

TEST(HexModelPaste, ReadOnlyOrEmptyPastesNothing) {
    auto block = Block(1, {0x77});
    View v(4);
    v.m.SetReadOnly(true);
    EXPECT_EQ(v.m.Paste(block.data(), block.size()), 0u);
    EXPECT_EQ(v.m.Bytes()[0], 0);
    View empty(0);
    EXPECT_EQ(empty.m.Paste(block.data(), block.size()), 0u);
}

TEST(HexModelPaste, ScrollsThePastedRangeIntoView) {
    View v(1000 * 16);
    v.m.SetCaretIndex(500 * 16, true);
    auto block = Block(2, {1, 2});
    unsigned e = v.m.Paste(block.data(), block.size());
    EXPECT_TRUE(e & kVScrollPos);
    EXPECT_EQ(v.m.TopRow(), 481u);  // the pasted row becomes the last full row
}

// ---------------------------------------------------------------------------
// Select all

TEST(HexModelSelectAll, SelectsEverythingWithoutMovingTheCaret) {
    View v(100);
    v.Caret(42, false);
    EXPECT_EQ(v.m.SelectAll(), unsigned(kInvalidate));
    EXPECT_EQ(v.m.SelectionStart(), 0u);
    EXPECT_EQ(v.m.SelectionEnd(), 99u);
    EXPECT_EQ(v.m.CaretIndex(), 42u);
    EXPECT_EQ(v.m.SelectAll(), 0u);  // already selected
    v.m.SetReadOnly(true);
    View empty(0);
    EXPECT_EQ(empty.m.SelectAll(), 0u);
    EXPECT_FALSE(empty.m.HasSelection());
}

// ---------------------------------------------------------------------------
// Caret placement

TEST(HexModelCaret, BlockCaretCoversTheDigitAndHidesOutsideTheView) {
    View v(1000 * 16, 8);
    const Layout& l = v.m.GetLayout();
    v.Caret(17, false);
    CaretBox c = v.m.ComputeCaret(true);
    ASSERT_TRUE(c.visible);
    EXPECT_EQ(c.x, l.area.left + l.hexX + 4 * kCw);
    EXPECT_EQ(c.y, l.area.top + kLh + 1);
    EXPECT_EQ(c.width, kCw);
    EXPECT_EQ(c.height, kLh - 1);
    EXPECT_FALSE(v.m.ComputeCaret(false).visible);  // no focus, no caret
    v.Caret(20 * 16, true);                         // the partial last row
    c = v.m.ComputeCaret(true);
    ASSERT_TRUE(c.visible);
    EXPECT_EQ(c.height, 8 - 1);
    v.Caret(21 * 16, true);  // below the view
    EXPECT_FALSE(v.m.ComputeCaret(true).visible);
}
