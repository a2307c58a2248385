#include "hexedit/HexViewModel.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace hexedit {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int64_t Clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

// ---------------------------------------------------------------------------
// Buffer

bool HexViewModel::SetBuffer(const uint8_t* bytes, uint32_t length) {
    ClearSelection();
    m_anchor = kNone;
    m_dragRect = {-1, -1, -1, -1};
    m_timerActive = false;
    m_bytes.reset();
    m_length = 0;
    m_layoutDirty = true;
    m_caret = 0;
    m_high = true;
    if (!bytes || length == 0) return true;
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[length]);
    if (!copy) return false;
    std::memcpy(copy.get(), bytes, length);
    m_bytes = std::move(copy);
    m_length = length;
    return true;
}

uint32_t HexViewModel::CopyBuffer(uint8_t* dest, uint32_t maxLength) const {
    if (m_length == 0) return 0;
    if (dest && maxLength > 0) std::memcpy(dest, m_bytes.get(), std::min(maxLength, m_length));
    return m_length;
}

// ---------------------------------------------------------------------------
// Configuration

bool HexViewModel::SetBytesPerRow(uint32_t n) {
    if (n == m_bytesPerRow) return false;
    m_bytesPerRow = n;
    m_layoutDirty = true;
    return true;
}

bool HexViewModel::SetAddressDigits(uint32_t digits) {
    const bool changed = digits != m_addressDigits;
    m_addressDigits = digits;
    m_layoutDirty = true;
    return changed;
}

bool HexViewModel::ShowAddressColumn(bool show) {
    if (show == m_showAddress) return false;
    m_showAddress = show;
    m_layoutDirty = true;
    return true;
}

bool HexViewModel::ShowTextColumn(bool show) {
    if (show == m_showText) return false;
    m_showText = show;
    m_layoutDirty = true;
    return true;
}

uint32_t HexViewModel::BytesPerRow() const {
    if (m_bytesPerRow == 0) return 1;
    return std::min(m_bytesPerRow, kMaxBytesPerRow);
}

uint32_t HexViewModel::TotalRows() const {
    const uint32_t b = BytesPerRow();
    return m_length / b + (m_length % b ? 1 : 0);
}

// ---------------------------------------------------------------------------
// Layout

void HexViewModel::RecalcLayout(int charWidth, int lineHeight, Rect client, int margin) {
    m_layoutDirty = false;
    Layout& l = m_layout;
    l.margin = std::max(margin, 0);
    // 2 px at the 96-dpi margin of 5, in proportion above it.
    l.slack = l.margin * 2 / kMargin;
    const int m = l.margin;
    // A font without measurable glyphs must not lead to a division by zero.
    l.charWidth = std::max(charWidth, 1);
    l.lineHeight = std::max(lineHeight, 1);

    l.area = {client.left + m, client.top + m, client.right - m, client.bottom - m};
    if (l.area.right < l.area.left) l.area.right = l.area.left;
    if (l.area.bottom < l.area.top) l.area.bottom = l.area.top;

    const int h = l.area.bottom - l.area.top;
    l.fullRows = static_cast<uint32_t>(h / l.lineHeight);
    const int r = h % l.lineHeight;
    if (r > 0) {
        l.visibleRows = l.fullRows + 1;
        l.lastRowHeight = r;
    } else {
        l.visibleRows = l.fullRows;
        l.lastRowHeight = l.lineHeight;
    }

    const int cw = l.charWidth;
    const uint32_t digits = std::min(m_addressDigits, kMaxAddressDigits);
    l.addressX = 0;
    l.addressWidth = m_showAddress ? static_cast<int>(digits) * cw + m : 0;

    l.bytesPerRow = BytesPerRow();
    const int b = static_cast<int>(l.bytesPerRow);
    l.hexX = l.addressX + l.addressWidth;
    l.hexWidth = (3 * b - 1) * cw + m;
    if (m_showText) {
        l.textX = l.hexX + l.hexWidth;
        l.textWidth = b * cw;
        l.totalWidth = l.textX + l.textWidth;
    } else {
        l.textX = 0;
        l.textWidth = 0;
        l.totalWidth = l.hexX + (3 * b - 1) * cw;
    }

    const uint32_t rows = TotalRows();
    l.maxTopRow = rows > l.fullRows ? rows - l.fullRows : 0;
    if (m_topRow > l.maxTopRow) m_topRow = l.maxTopRow;

    const int areaWidth = l.area.right - l.area.left;
    l.maxHorizontalOffset = l.totalWidth > areaWidth ? l.totalWidth - areaWidth : 0;
    if (m_hOffset > l.maxHorizontalOffset) m_hOffset = l.maxHorizontalOffset;
}

// ---------------------------------------------------------------------------
// Caret and selection

void HexViewModel::SetCaretIndex(uint32_t index, bool highNibble) {
    if (m_length > 0 && index >= m_length) {
        index = m_length - 1;
        highNibble = false;
    }
    m_caret = index;
    m_high = highNibble;
}

CaretBox HexViewModel::ComputeCaret(bool focused) const {
    CaretBox box;
    if (m_length == 0 || !focused) return box;
    const Layout& l = m_layout;
    const uint64_t b = l.bytesPerRow;
    const uint64_t first = uint64_t(m_topRow) * b;
    const uint64_t end = (uint64_t(m_topRow) + l.visibleRows) * b;
    if (m_caret < first || m_caret >= end) return box;

    const uint32_t row = static_cast<uint32_t>((m_caret - first) / b);
    const int col = static_cast<int>((m_caret - first) % b);
    const int height = row + 1 == l.visibleRows ? l.lastRowHeight : l.lineHeight;
    int x = l.area.left + l.hexX - m_hOffset + (3 * col + (m_high ? 0 : 1)) * l.charWidth;
    const int y = l.area.top + static_cast<int>(row) * l.lineHeight + 1;
    int width = l.charWidth;
    // A caret wholly outside the text area (with 2 px of slack) is hidden
    // rather than drawn clipped.
    if (x + width <= l.area.left - l.slack || x > l.area.right) return box;
    if (x < l.area.left - l.slack) {
        width -= (l.area.left - l.slack) - x;
        x = l.area.left - l.slack;
    }
    if (x + width > l.area.right + l.slack) width = l.area.right + l.slack - x;
    box.visible = true;
    box.x = x;
    box.y = y;
    box.width = width;
    box.height = std::max(height - 1, 1);
    return box;
}

Hit HexViewModel::HitTest(Point p) const {
    const Layout& l = m_layout;
    // Half a character of bias rounds the pointer to the nearest character
    // boundary, so the right half of a digit already means the next one.
    int x = p.x + m_hOffset + l.charWidth / 2 - l.margin;
    int y = p.y - l.area.top;
    y = static_cast<int>(Clamp64(y, 0, int64_t(l.lineHeight) * l.visibleRows));
    // The address column lands on a row's first byte, the character column
    // on its last byte.
    x = static_cast<int>(Clamp64(x, l.hexX, l.hexX + l.hexWidth - l.margin));
    const uint32_t row = static_cast<uint32_t>(y / l.lineHeight);
    const uint32_t c = static_cast<uint32_t>((x - l.hexX) / l.charWidth);
    Hit hit{0, c % 3 == 0};
    const uint64_t index = (uint64_t(m_topRow) + row) * l.bytesPerRow + c / 3;
    if (index >= m_length) {
        hit.index = m_length > 0 ? m_length - 1 : 0;
        hit.highNibble = false;
    } else {
        hit.index = static_cast<uint32_t>(index);
    }
    return hit;
}

unsigned HexViewModel::MoveCaret(int64_t delta, bool highNibble, bool shift) {
    if (m_length == 0) return kNoEffect;
    if (!shift) {
        m_anchor = kNone;
        ClearSelection();
    }
    int64_t p = std::min<uint32_t>(m_caret, m_length - 1);
    if (delta > 0) {
        p += delta;
        if (p >= int64_t(m_length)) {
            p = m_length - 1;
            highNibble = false;
        }
    } else if (delta < 0) {
        if (-delta <= p) {
            p += delta;
        } else {
            p = 0;
            highNibble = true;
        }
    }
    const uint32_t pos = static_cast<uint32_t>(p);
    if (shift && m_anchor != kNone) {
        m_selStart = std::min(m_anchor, pos);
        m_selEnd = std::max(m_anchor, pos);
    }
    unsigned effects = EnsureVisible(pos, pos, true);
    m_caret = pos;
    m_high = highNibble;
    return effects | kPlaceCaret;
}

unsigned HexViewModel::EnsureVisible(uint32_t start, uint32_t end, bool redraw) {
    const Layout& l = m_layout;
    const int64_t b = l.bytesPerRow;
    const int64_t first = int64_t(m_topRow) * b;
    const int64_t n = int64_t(l.fullRows) * b;
    const int64_t limit = first + n;  // first byte below the full rows
    const int64_t s = start, e = end;
    int64_t newTop = -1;

    if (n == 0) {
        // No full row: show the start row at the top, as much as fits.
        if (s / b != m_topRow) newTop = s / b;
    } else if (s <= first && e >= limit) {
        // The range covers the whole view.
    } else if (e - s > n) {
        if (s > first) newTop = s / b;
        else if (e < limit) newTop = (e + b - n) / b;
    } else {
        // The byte at `limit` lies below the last full row, so reaching it
        // scrolls as well; otherwise a caret there would sit outside the view.
        if (s < first) newTop = s / b;
        else if (e >= limit) newTop = (e + b - n) / b;
    }

    unsigned effects = kNoEffect;
    if (newTop >= 0) {
        m_topRow = static_cast<uint32_t>(std::min<int64_t>(newTop, l.maxTopRow));
        effects |= kVScrollPos;
    }

    const int base = l.area.left + l.hexX - m_hOffset;
    int x1 = base + 3 * static_cast<int>(s % b) * l.charWidth;
    int x2 = base + (3 * static_cast<int>(e % b) + 2) * l.charWidth;
    if (x1 > x2) std::swap(x1, x2);
    int64_t newOffset = 0;
    bool horizontal = true;
    if (x1 < l.area.left && x2 < l.area.right) newOffset = int64_t(m_hOffset) + (x1 - l.area.left);
    else if (x1 > l.area.left && x2 >= l.area.right) newOffset = int64_t(m_hOffset) + x2 - (l.area.right - l.area.left);
    else horizontal = false;
    if (horizontal) {
        m_hOffset = static_cast<int>(Clamp64(newOffset, 0, l.maxHorizontalOffset));
        effects |= kHScrollPos;
    }

    if (redraw) effects |= kInvalidate;
    return effects;
}

// ---------------------------------------------------------------------------
// Keyboard

unsigned HexViewModel::KeyDown(Key key, bool shift) {
    if (shift && m_anchor == kNone) m_anchor = m_caret;
    const int64_t b = BytesPerRow();
    // Visible rows include the partly visible last row, so a page is one row
    // less than what is on screen (and nothing when not even one row shows).
    const int64_t pageRows = m_layout.visibleRows > 0 ? int64_t(m_layout.visibleRows) - 1 : 0;
    switch (key) {
    case Key::Tab: return shift ? kFocusPrevious : kFocusNext;
    case Key::PageUp: return MoveCaret(-pageRows * b, m_high, shift);
    case Key::PageDown: return MoveCaret(pageRows * b, m_high, shift);
    case Key::Home: return MoveCaret(-int64_t(m_caret), true, shift);
    case Key::End: return m_length ? MoveCaret(int64_t(m_length) - 1 - m_caret, false, shift) : kNoEffect;
    case Key::Left: return m_high ? MoveCaret(-1, false, shift) : MoveCaret(0, true, shift);
    case Key::Right: return m_high ? MoveCaret(0, false, shift) : MoveCaret(1, true, shift);
    case Key::Up: return MoveCaret(-b, m_high, shift);
    case Key::Down: return MoveCaret(b, m_high, shift);
    case Key::Other: break;
    }
    return kNoEffect;
}

unsigned HexViewModel::Char(uint32_t code, bool shift) {
    if (code == 8 || code > 0xFF || m_length == 0 || m_readOnly) return kNoEffect;
    uint8_t value;
    if (code >= '0' && code <= '9') value = static_cast<uint8_t>(code - '0');
    else if (code >= 'a' && code <= 'f') value = static_cast<uint8_t>(code - 'a' + 10);
    else if (code >= 'A' && code <= 'F') value = static_cast<uint8_t>(code - 'A' + 10);
    else return kNoEffect;
    if (m_caret >= m_length) return kNoEffect;
    uint8_t& byte = m_bytes[m_caret];
    unsigned effects;
    if (m_high) {
        byte = static_cast<uint8_t>((byte & 0x0F) | (value << 4));
        effects = MoveCaret(0, false, shift);
    } else {
        byte = static_cast<uint8_t>((byte & 0xF0) | value);
        effects = MoveCaret(1, true, shift);
    }
    return effects | kInvalidate | kNotifyChange;
}

// ---------------------------------------------------------------------------
// Mouse

unsigned HexViewModel::SelectFromAnchorTo(const Hit& hit) {
    m_caret = hit.index;
    m_high = hit.highNibble;
    if (m_anchor != kNone) {
        m_selStart = std::min(m_anchor, hit.index);
        m_selEnd = std::max(m_anchor, hit.index);
    }
    return kPlaceCaret | kInvalidate;
}

unsigned HexViewModel::LButtonDown(Point p, int dragWidth, int dragHeight) {
    if (m_length == 0) return kNoEffect;
    const Hit hit = HitTest(p);
    m_caret = hit.index;
    m_high = hit.highNibble;
    m_dragRect = {p.x - dragWidth / 2, p.y - dragHeight / 2, p.x + dragWidth / 2 + dragWidth % 2,
                  p.y + dragHeight / 2 + dragHeight % 2};
    ClearSelection();
    m_anchor = m_caret;
    // Repaint, so that a selection shown before the click disappears now.
    return kPlaceCaret | kCapture | kInvalidate;
}

unsigned HexViewModel::MouseMove(Point p, bool leftButton) {
    if (m_length == 0 || !leftButton || m_anchor == kNone) return kNoEffect;
    if (m_dragRect.Contains(p)) return kNoEffect;
    m_dragRect = {-1, -1, -1, -1};
    unsigned effects = kNoEffect;
    const Rect& area = m_layout.area;
    if (!area.Contains(p)) {
        if (p.y < area.top) effects |= StartAutoScroll(area.top - p.y + 1, -1, p);
        else if (p.y >= area.bottom) effects |= StartAutoScroll(p.y - area.bottom + 1, +1, p);
        else m_lastPoint = p;
    } else {
        effects |= StopAutoScroll();
    }
    return effects | SelectFromAnchorTo(HitTest(p));
}

unsigned HexViewModel::StartAutoScroll(int distance, int direction, Point p) {
    // The farther outside the view, the faster: a step every 8 ticks close to
    // the edge down to every 2nd tick from 30 px on.
    const int speed = std::min(distance / 5, 6);
    m_autoInterval = static_cast<uint16_t>(7 - speed);
    m_lastPoint = p;
    m_autoDirection = direction;
    if (m_timerActive) return kNoEffect;
    m_timerActive = true;
    m_countdown = m_autoInterval;
    return kStartTimer;
}

unsigned HexViewModel::StopAutoScroll() {
    if (!m_timerActive) return kNoEffect;
    m_timerActive = false;
    return kStopTimer;
}

unsigned HexViewModel::Timer() {
    if (!m_timerActive || m_length == 0 || m_anchor == kNone) return kNoEffect;
    if (m_countdown > 0) {
        --m_countdown;
        return kNoEffect;
    }
    m_countdown = m_autoInterval;
    const int64_t top = Clamp64(int64_t(m_topRow) + m_autoDirection, 0, m_layout.maxTopRow);
    m_topRow = static_cast<uint32_t>(top);
    return kVScrollPos | SelectFromAnchorTo(HitTest(m_lastPoint));
}

unsigned HexViewModel::LButtonUp() { return kReleaseCapture | StopAutoScroll() | kInvalidate; }

unsigned HexViewModel::DoubleClick(Point p) {
    if (m_length == 0) return kNoEffect;
    const Hit hit = HitTest(p);
    m_caret = hit.index;
    m_high = hit.highNibble;
    m_selStart = m_selEnd = hit.index;
    return kPlaceCaret | kInvalidate;
}

unsigned HexViewModel::Wheel(int delta) {
    // One notch (120) is one row; parts of a notch are not accumulated.
    const int rows = -(delta / 120);
    const int64_t top = Clamp64(int64_t(m_topRow) + rows, 0, m_layout.maxTopRow);
    unsigned effects = kVScrollPos | kPlaceCaret;
    if (uint32_t(top) != m_topRow) {
        m_topRow = static_cast<uint32_t>(top);
        effects |= kInvalidate;
    }
    return effects;
}

unsigned HexViewModel::ScrollVertical(int code, uint32_t trackPosition) {
    if (m_length == 0 || code < 0 || code > kThumbTrack || code == kThumbPosition) return kNoEffect;
    const Layout& l = m_layout;
    int64_t top = m_topRow;
    switch (code) {
    case kLineUp: top -= 1; break;
    case kLineDown: top += 1; break;
    case kPageUp: top -= l.fullRows; break;
    case kPageDown: top += l.fullRows; break;
    case kThumbTrack: top = trackPosition; break;
    }
    top = Clamp64(top, 0, l.maxTopRow);
    unsigned effects = kVScrollPos | kPlaceCaret;
    if (uint32_t(top) != m_topRow) {
        m_topRow = static_cast<uint32_t>(top);
        effects |= kInvalidate;
    }
    return effects;
}

unsigned HexViewModel::ScrollHorizontal(int code, int trackPosition) {
    if (m_length == 0 || code < 0 || code > kThumbTrack || code == kThumbPosition) return kNoEffect;
    const Layout& l = m_layout;
    int64_t offset = m_hOffset;
    switch (code) {
    case kLineUp: offset -= l.charWidth; break;
    case kLineDown: offset += l.charWidth; break;
    case kPageUp: offset -= l.area.right - l.area.left; break;
    case kPageDown: offset += l.area.right - l.area.left; break;
    case kThumbTrack: offset = trackPosition; break;
    }
    offset = Clamp64(offset, 0, l.maxHorizontalOffset);
    unsigned effects = kHScrollPos | kPlaceCaret;
    if (int(offset) != m_hOffset) {
        m_hOffset = static_cast<int>(offset);
        effects |= kInvalidate;
    }
    return effects;
}

// ---------------------------------------------------------------------------
// Clipboard

unsigned HexViewModel::SelectAll() {
    if (m_length == 0) return kNoEffect;
    if (m_selStart == 0 && m_selEnd == m_length - 1) return kNoEffect;
    m_selStart = 0;
    m_selEnd = m_length - 1;
    return kInvalidate;
}

uint64_t HexViewModel::CopyTextLength() const {
    if (!HasSelection() || m_selEnd >= m_length || m_selStart > m_selEnd) return 0;
    const uint64_t b = BytesPerRow();
    const uint64_t n = uint64_t(m_selEnd) - m_selStart + 1;
    const uint64_t column = (m_selEnd - m_selStart > b) ? m_selStart % b : 0;
    // Every byte takes two digits and a separator (a blank, or the line feed
    // after a line's last byte); the first line is indented by 3 per column.
    return 3 * (column + n);
}

void HexViewModel::WriteCopyText(char* out) const {
    if (CopyTextLength() == 0) return;
    const uint32_t b = BytesPerRow();
    const uint32_t s = m_selStart, e = m_selEnd;
    uint32_t column = (e - s > b) ? s % b : 0;
    std::memset(out, ' ', 3 * size_t(column));
    out += 3 * size_t(column);
    bool lineStart = true;
    for (uint64_t i = s; i <= e; ++i) {
        if (!lineStart) *out++ = ' ';
        const uint8_t v = m_bytes[i];
        *out++ = kHexDigits[v >> 4];
        *out++ = kHexDigits[v & 0x0F];
        lineStart = false;
        if (++column == b || i == e) {
            *out++ = '\n';
            column = 0;
            lineStart = true;
        }
    }
}

unsigned HexViewModel::Paste(const uint8_t* block, size_t blockSize) {
    if (m_readOnly || m_length == 0 || !block || blockSize < 4) return kNoEffect;
    uint64_t n = uint64_t(block[0]) | uint64_t(block[1]) << 8 | uint64_t(block[2]) << 16 | uint64_t(block[3]) << 24;
    // The count field is not trusted beyond the block's real size.
    n = std::min<uint64_t>(n, blockSize - 4);
    const uint32_t p = HasSelection() ? m_selStart : m_caret;
    if (p >= m_length) return kNoEffect;
    // Bytes that would fall past the end are dropped: paste never grows the buffer.
    if (p + n >= m_length || n >= m_length) n = m_length - p;
    // An empty block changes nothing at all.
    if (n == 0) return kNoEffect;
    std::memcpy(m_bytes.get() + p, block + 4, static_cast<size_t>(n));
    const uint32_t q = static_cast<uint32_t>(p + n - 1);
    unsigned effects = kNoEffect;
    if (!(m_selStart == p && m_selEnd == q)) {
        m_selStart = p;
        m_selEnd = q;
        effects |= EnsureVisible(p, q, false);
    }
    m_caret = q;
    m_high = false;
    return effects | kPlaceCaret | kInvalidate | kNotifyChange;
}

// ---------------------------------------------------------------------------
// Painting

bool HexViewModel::PaintRows(uint32_t* firstRow, uint32_t* lastRow) const {
    if (m_length == 0) return false;
    const uint64_t b = m_layout.bytesPerRow;
    const uint64_t lastIndex = std::min<uint64_t>((uint64_t(m_topRow) + m_layout.visibleRows) * b, m_length - 1);
    *firstRow = m_topRow;
    *lastRow = static_cast<uint32_t>(lastIndex / b);
    return *lastRow >= *firstRow;
}

size_t HexViewModel::FormatAddress(uint32_t row, char (&out)[kAddressTextSize]) const {
    const uint64_t address = uint64_t(row) * m_layout.bytesPerRow;
    size_t needed = 1;
    while (needed < 16 && (address >> (4 * needed)) != 0) ++needed;
    const size_t digits = std::max<size_t>(needed, std::min(m_addressDigits, kMaxAddressDigits));
    for (size_t i = 0; i < digits; ++i) {
        const unsigned shift = static_cast<unsigned>(4 * (digits - 1 - i));
        out[i] = shift < 64 ? kHexDigits[(address >> shift) & 0x0F] : '0';
    }
    out[digits] = '\0';
    return digits;
}

size_t HexViewModel::FormatHexRow(uint32_t row, char (&out)[kRowTextSize]) const {
    const uint64_t b = m_layout.bytesPerRow;
    const uint64_t first = uint64_t(row) * b;
    if (first >= m_length) {
        out[0] = '\0';
        return 0;
    }
    const uint64_t end = std::min<uint64_t>(first + b, m_length);
    char* p = out;
    for (uint64_t i = first; i < end; ++i) {
        const uint8_t v = m_bytes[i];
        p[0] = kHexDigits[v >> 4];
        p[1] = kHexDigits[v & 0x0F];
        p[2] = ' ';
        p += 3;
    }
    *--p = '\0';  // no blank after the row's last byte
    return static_cast<size_t>(p - out);
}

size_t HexViewModel::FormatTextRow(uint32_t row, char (&out)[kRowTextSize]) const {
    const uint64_t b = m_layout.bytesPerRow;
    const uint64_t first = uint64_t(row) * b;
    size_t n = 0;
    for (uint64_t i = first; i < first + b && i < m_length; ++i) {
        const uint8_t v = m_bytes[i];
        out[n++] = (v >= 0x20 && v <= 0x7E) ? static_cast<char>(v) : '.';
    }
    out[n] = '\0';
    return n;
}

bool HexViewModel::RowSelection(uint32_t row, size_t* first, size_t* end) const {
    if (!HasSelection()) return false;
    const uint64_t b = m_layout.bytesPerRow;
    const uint64_t rowStart = uint64_t(row) * b;
    const uint64_t rowEnd = std::min<uint64_t>(rowStart + b, m_length);  // exclusive
    if (rowEnd == 0) return false;
    const uint64_t s = std::max<uint64_t>(m_selStart, rowStart);
    const uint64_t e = std::min<uint64_t>(m_selEnd, rowEnd - 1);
    if (s > e) return false;
    *first = static_cast<size_t>(3 * (s - rowStart));
    *end = static_cast<size_t>(3 * (e - rowStart) + 2);
    return true;
}

}  // namespace hexedit
