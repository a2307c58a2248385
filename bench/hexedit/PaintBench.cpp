// hexedit_paint_bench SIZE COUNT [paint|setbuffer|pagedown|end|thumb]
// Builds a 640 x 300 hex view of the tool's kind holding SIZE bytes, then does
// COUNT full paints (or COUNT SetBuffer calls of SIZE bytes, or COUNT Page
// Down, End or thumb-track steps, each followed by its repaint). The process
// is timed from outside (run-paint-bench.sh with hyperfine); a run with COUNT
// 0 gives the fixed start-up cost to subtract. The source bytes come from
// untouched, zero-filled pages, so that the resident memory of a run shows the
// control's own copy only (/usr/bin/time -v).
#include "hexedit/HexEditBase.h"

#include <cstdlib>
#include <cstring>

namespace {

// The control posts its scroll-bar update; without it the bar has no range
// and thumb positions would be clamped to nothing.
void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const DWORD size = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
    const long count = std::strtol(argv[2], nullptr, 10);
    const char* op = argc > 3 ? argv[3] : "paint";

    HWND host = ::CreateWindowExW(0, L"STATIC", L"bench", WS_POPUP | WS_VISIBLE, 0, 0, 660, 320, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_AUTOHSCROLL, 0,
                                  0, 640, 300, host, reinterpret_cast<HMENU>(1055), nullptr, nullptr);
    CHexEditBase view;
    if (!view.SubclassWindow(edit)) return 3;
    view.ShowAddressColumn(true);
    view.SetAddressDigits(6);
    view.ShowTextColumn(true);
    view.SetBytesPerRow(16);
    view.SetReadOnly(false, true);

    void* source = size ? ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
    if (size && !source) return 4;
    if (!view.SetBuffer(static_cast<const BYTE*>(source), size)) return 5;
    ::SetFocus(view);
    ::UpdateWindow(view);
    Pump();
    // Scroll to the middle so that the rows formatted are deep in the buffer.
    ::SetScrollPos(view, SB_VERT, static_cast<int>(size / 16 / 2), FALSE);
    view.SendMessage(WM_VSCROLL, SB_THUMBTRACK);
    ::UpdateWindow(view);
    Pump();
    if (size >= 64 * 16 && view.GetTopRow() == 0) return 6;  // the view did not move

    const bool paint = std::strcmp(op, "paint") == 0;
    for (long i = 0; i < count; ++i) {
        if (paint) {
            ::RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        } else if (std::strcmp(op, "setbuffer") == 0) {
            view.SetBuffer(static_cast<const BYTE*>(source), size);
            Pump();
        } else if (std::strcmp(op, "pagedown") == 0) {
            if (view.GetCaretIndex() + 64 * 16 >= size) view.SetCaret(0, true);
            view.SendMessage(WM_KEYDOWN, VK_NEXT);
            ::UpdateWindow(view);
        } else if (std::strcmp(op, "end") == 0) {
            view.SendMessage(WM_KEYDOWN, (i & 1) ? VK_HOME : VK_END);
            ::UpdateWindow(view);
        } else if (std::strcmp(op, "thumb") == 0) {
            ::SetScrollPos(view, SB_VERT, static_cast<int>((i * 7919 + 1) % (size / 16)), FALSE);
            view.SendMessage(WM_VSCROLL, SB_THUMBTRACK);
            ::UpdateWindow(view);
        }
    }
    if (source) ::VirtualFree(source, 0, MEM_RELEASE);
    ::DestroyWindow(host);
    return 0;
}
