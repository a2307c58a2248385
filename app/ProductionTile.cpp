#include "app/ProductionTile.h"

#include "text/Utf8.h"

namespace {

constexpr wchar_t kClassName[] = L"TarvelProductionTile";

bool RegisterTileClass(WNDPROC proc) {
    static const bool registered = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

bool HighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

// Background and text of a state. With high contrast on, the system's
// colours: a result stands out as selected text does.
void Colours(run::TileState state, COLORREF* back, COLORREF* text) {
    if (HighContrast()) {
        const bool marked =
            state == run::TileState::Pass || state == run::TileState::Fail || state == run::TileState::Lost;
        *back = ::GetSysColor(marked ? COLOR_HIGHLIGHT : COLOR_WINDOW);
        *text = ::GetSysColor(marked ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
        return;
    }
    *text = RGB(0, 0, 0);
    switch (state) {
    case run::TileState::Pass: *back = RGB(120, 220, 120); break;
    case run::TileState::Fail: *back = RGB(240, 110, 100); break;
    case run::TileState::Lost: *back = RGB(250, 190, 80); break;
    case run::TileState::Programming: *back = RGB(170, 205, 250); break;
    case run::TileState::Stopped: *back = RGB(200, 200, 200); break;
    default: *back = RGB(235, 235, 235); break;
    }
}

}  // namespace

ProductionTile::~ProductionTile() {
    if (m_hwnd && ::IsWindow(m_hwnd)) {
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hwnd);
    }
}

bool ProductionTile::Create(HWND parent, int id, const std::string& port) {
    if (!RegisterTileClass(&ProductionTile::Proc)) return false;
    m_tile.port = port;
    m_hwnd = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    if (!m_hwnd) return false;
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Show(m_language);
    return true;
}

void ProductionTile::Apply(const run::RunEvent& event, int language) {
    run::ApplyEvent(m_tile, event);
    Show(language);
}

void ProductionTile::Relabel(int language) { Show(language); }

void ProductionTile::SetFonts(HFONT large, HFONT small) {
    m_large = large;
    m_small = small;
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ProductionTile::Show(int language) {
    m_language = language;
    if (!m_hwnd) return;
    const std::wstring name = run::TileName(m_tile, language);
    const int length = ::GetWindowTextLengthW(m_hwnd);
    std::wstring now(static_cast<std::size_t>(length) + 1, L'\0');
    now.resize(static_cast<std::size_t>(::GetWindowTextW(m_hwnd, &now[0], length + 1)));
    if (now != name) {
        ::SetWindowTextW(m_hwnd, name.c_str());
        ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hwnd, OBJID_WINDOW, CHILDID_SELF);
    }
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ProductionTile::Paint(HDC dc) {
    RECT rc;
    ::GetClientRect(m_hwnd, &rc);
    COLORREF back, text;
    Colours(m_tile.state, &back, &text);
    const HBRUSH brush = ::CreateSolidBrush(back);
    ::FillRect(dc, &rc, brush);
    ::DeleteObject(brush);
    ::FrameRect(dc, &rc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, text);

    const int height = rc.bottom - rc.top;
    const int pad = height / 16 + 2;
    ::InflateRect(&rc, -pad, -pad);
    const HGDIOBJ before = ::SelectObject(dc, m_small ? m_small : ::GetStockObject(DEFAULT_GUI_FONT));
    // The port in the top line, the state in the middle, the details below.
    const std::wstring port = text::Widen(m_tile.port);
    RECT top = rc;
    ::DrawTextW(dc, port.c_str(), -1, &top, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    const std::wstring detail = run::TileDetailLine(m_tile, m_language);
    RECT bottom = rc;
    ::DrawTextW(dc, detail.c_str(), -1, &bottom, DT_LEFT | DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (!m_tile.reason.empty()) {
        const std::wstring reason = text::Widen(m_tile.reason);
        RECT middle = rc;
        middle.top = rc.top + (rc.bottom - rc.top) * 5 / 8;
        ::DrawTextW(dc, reason.c_str(), -1, &middle,
                    DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    if (m_large) ::SelectObject(dc, m_large);
    const std::wstring state = run::TileStateLine(m_tile, m_language);
    RECT centre = rc;
    centre.bottom = rc.top + (rc.bottom - rc.top) * 5 / 8;
    centre.top = rc.top + (rc.bottom - rc.top) / 8;
    ::DrawTextW(dc, state.c_str(), -1, &centre, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SelectObject(dc, before);
}

LRESULT CALLBACK ProductionTile::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<ProductionTile*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        if (self) {
            // Drawn off screen and copied in one step: no flicker at
            // every percent.
            RECT rc;
            ::GetClientRect(hwnd, &rc);
            HDC memory = ::CreateCompatibleDC(dc);
            HBITMAP bitmap = ::CreateCompatibleBitmap(dc, rc.right > 0 ? rc.right : 1, rc.bottom > 0 ? rc.bottom : 1);
            const HGDIOBJ old = ::SelectObject(memory, bitmap);
            self->Paint(memory);
            ::BitBlt(dc, 0, 0, rc.right, rc.bottom, memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, old);
            ::DeleteObject(bitmap);
            ::DeleteDC(memory);
        }
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_NCDESTROY:
        if (self) self->m_hwnd = nullptr;
        break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}
