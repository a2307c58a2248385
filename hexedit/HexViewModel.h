// The window-free heart of the hex editor: the byte buffer, the geometry of
// the view (rows, columns, scroll limits), the caret and the selection, and
// what keys, characters, mouse input, scrolling and the clipboard do to them.
// The Win32 control (CHexEditBase) feeds it measured metrics and input, and
// carries out the returned effects (invalidate, move the caret, set scroll
// positions, start the timer, notify the parent).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace hexedit {

// "No index": no selection, no anchor.
constexpr uint32_t kNone = 0xFFFFFFFFu;
// Rows are formatted into fixed buffers: 3 characters a byte in 1024, and an
// address of at most 31 digits in 32.
constexpr uint32_t kMaxBytesPerRow = 341;
constexpr uint32_t kMaxAddressDigits = 31;
constexpr size_t kRowTextSize = 1024;
constexpr size_t kAddressTextSize = 32;
// Inset of the text area inside the client rectangle, in pixels at 96 dpi
// (the window scales it with its dpi).
constexpr int kMargin = 5;

struct Point {
    int x;
    int y;
};

// Same semantics as the platform's rectangle: right and bottom are exclusive.
struct Rect {
    int left;
    int top;
    int right;
    int bottom;
    bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
};

enum class Key { Tab, PageUp, PageDown, Home, End, Left, Right, Up, Down, Other };

// Scroll-bar request codes; the values are those of the platform's SB_ codes.
enum ScrollCode : int {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5,
};

// What the window has to do after an operation, as bit flags.
enum Effect : unsigned {
    kNoEffect = 0,
    kInvalidate = 1u << 0,
    kPlaceCaret = 1u << 1,      // show the caret at the model's caret index and digit
    kVScrollPos = 1u << 2,      // write TopRow() to the vertical scroll bar
    kHScrollPos = 1u << 3,      // write HorizontalOffset() to the horizontal bar
    kNotifyChange = 1u << 4,    // tell the parent that the user changed bytes
    kStartTimer = 1u << 5,      // start the auto-scroll timer
    kStopTimer = 1u << 6,       // stop it
    kCapture = 1u << 7,         // capture the mouse
    kReleaseCapture = 1u << 8,  // release it if held
    kFocusNext = 1u << 9,       // move the focus to the next tab stop
    kFocusPrevious = 1u << 10,  // ... or to the previous one
};

struct Layout {
    int charWidth = 1;
    int lineHeight = 1;
    int margin = kMargin;       // inset of the text area, also the gap after a column
    int slack = 2;              // how far the caret may stand outside the text area
    Rect area{};                // client rectangle inset by margin
    uint32_t fullRows = 0;      // rows that fit completely
    uint32_t visibleRows = 0;   // rows at least partly visible
    int lastRowHeight = 1;      // height of the partly visible last row
    uint32_t bytesPerRow = 16;  // effective value
    int addressX = 0, addressWidth = 0;
    int hexX = 0, hexWidth = 0;
    int textX = 0, textWidth = 0;
    int totalWidth = 0;
    uint32_t maxTopRow = 0;
    int maxHorizontalOffset = 0;
};

struct CaretBox {
    bool visible = false;
    int x = 0, y = 0, width = 0, height = 0;
};

struct Hit {
    uint32_t index;
    bool highNibble;
};

class HexViewModel {
public:
    HexViewModel() = default;
    HexViewModel(const HexViewModel&) = delete;
    HexViewModel& operator=(const HexViewModel&) = delete;

    // --- Buffer -----------------------------------------------------------
    // Replaces the bytes with a private copy (null bytes: no storage). Clears
    // the selection, the anchor and the mouse tracking, puts the caret on
    // byte 0, high digit, and marks the layout dirty. Returns false when the
    // copy cannot be allocated; the model is then empty.
    bool SetBuffer(const uint8_t* bytes, uint32_t length);
    // Copies min(maxLength, length) bytes to dest; returns the full length.
    uint32_t CopyBuffer(uint8_t* dest, uint32_t maxLength) const;
    uint32_t Length() const { return m_length; }
    const uint8_t* Bytes() const { return m_bytes.get(); }
    bool Empty() const { return m_length == 0; }

    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // --- Configuration (each returns true when the value changed) ---------
    bool SetBytesPerRow(uint32_t n);
    bool SetAddressDigits(uint32_t digits);  // always marks the layout dirty
    bool ShowAddressColumn(bool show);
    bool ShowTextColumn(bool show);
    uint32_t BytesPerRow() const;  // effective: 1 .. kMaxBytesPerRow
    uint32_t AddressDigits() const { return m_addressDigits; }
    bool AddressShown() const { return m_showAddress; }
    bool TextShown() const { return m_showText; }

    // --- Layout -----------------------------------------------------------
    bool LayoutDirty() const { return m_layoutDirty; }
    void MarkLayoutDirty() { m_layoutDirty = true; }
    // Computes the geometry from the font's character width and line height
    // and the client rectangle, and clamps the scroll position.
    // margin: the inset in pixels (kMargin at 96 dpi, scaled with the dpi).
    void RecalcLayout(int charWidth, int lineHeight, Rect client, int margin = kMargin);
    const Layout& GetLayout() const { return m_layout; }
    uint32_t TopRow() const { return m_topRow; }
    int HorizontalOffset() const { return m_hOffset; }
    uint32_t TotalRows() const;

    // --- Caret and selection -----------------------------------------------
    // Stores the caret (an index past the end is put on the last byte's low
    // digit, so that typing can never write outside the buffer).
    void SetCaretIndex(uint32_t index, bool highNibble);
    uint32_t CaretIndex() const { return m_caret; }
    bool CaretHigh() const { return m_high; }
    // Where the block caret goes, or not visible.
    CaretBox ComputeCaret(bool focused) const;
    bool HasSelection() const { return m_selStart != kNone && m_selEnd != kNone; }
    uint32_t SelectionStart() const { return m_selStart; }
    uint32_t SelectionEnd() const { return m_selEnd; }
    uint32_t Anchor() const { return m_anchor; }

    Hit HitTest(Point p) const;
    unsigned MoveCaret(int64_t delta, bool highNibble, bool shift);
    unsigned EnsureVisible(uint32_t start, uint32_t end, bool redraw);

    // --- Input ------------------------------------------------------------
    unsigned KeyDown(Key key, bool shift);
    unsigned Char(uint32_t code, bool shift);
    unsigned LButtonDown(Point p, int dragWidth, int dragHeight);
    unsigned MouseMove(Point p, bool leftButton);
    unsigned LButtonUp();
    unsigned DoubleClick(Point p);
    unsigned Timer();
    unsigned StopAutoScroll();
    unsigned Wheel(int delta);
    unsigned ScrollVertical(int code, uint32_t trackPosition);
    unsigned ScrollHorizontal(int code, int trackPosition);
    bool AutoScrollActive() const { return m_timerActive; }
    int AutoScrollDirection() const { return m_autoDirection; }
    unsigned AutoScrollInterval() const { return m_autoInterval; }

    // --- Clipboard --------------------------------------------------------
    unsigned SelectAll();
    // Length of the copy text of the selection (no terminating NUL), 0 without
    // a selection. 64-bit: three characters a byte can exceed a 32-bit size.
    uint64_t CopyTextLength() const;
    // Writes exactly CopyTextLength() characters.
    void WriteCopyText(char* out) const;
    // Overwrites bytes from a "BinaryData" block of blockSize readable bytes
    // (4-byte little-endian count, then the bytes). Never reads past
    // blockSize, never writes past the buffer.
    unsigned Paste(const uint8_t* block, size_t blockSize);

    // --- Painting ---------------------------------------------------------
    // Rows to draw: from TopRow() to *lastRow. False when there is nothing.
    bool PaintRows(uint32_t* firstRow, uint32_t* lastRow) const;
    // Each writes a NUL-terminated row text and returns its length.
    size_t FormatAddress(uint32_t row, char (&out)[kAddressTextSize]) const;
    size_t FormatHexRow(uint32_t row, char (&out)[kRowTextSize]) const;
    size_t FormatTextRow(uint32_t row, char (&out)[kRowTextSize]) const;
    // The selected part of a row's hex text: characters [*first, *end).
    bool RowSelection(uint32_t row, size_t* first, size_t* end) const;

private:
    unsigned StartAutoScroll(int distance, int direction, Point p);
    unsigned SelectFromAnchorTo(const Hit& hit);
    void ClearSelection() { m_selStart = m_selEnd = kNone; }

    std::unique_ptr<uint8_t[]> m_bytes;
    uint32_t m_length = 0;
    bool m_readOnly = false;

    uint32_t m_bytesPerRow = 16;
    uint32_t m_addressDigits = 8;
    bool m_showAddress = false;
    bool m_showText = false;

    bool m_layoutDirty = true;
    Layout m_layout;
    uint32_t m_topRow = 0;
    int m_hOffset = 0;

    uint32_t m_caret = 0;
    bool m_high = true;
    uint32_t m_selStart = kNone;
    uint32_t m_selEnd = kNone;
    uint32_t m_anchor = kNone;

    Rect m_dragRect{-1, -1, -1, -1};
    Point m_lastPoint{0, 0};
    int m_autoDirection = 0;
    uint16_t m_autoInterval = 0;
    uint16_t m_countdown = 0;
    bool m_timerActive = false;
};

}  // namespace hexedit
