#include "app/Banner.h"

#include "framework/Dpi.h"

#include <algorithm>

void Banner::Fit(HWND picture, UINT bitmapId, int dpi) {
    if (!picture || dpi == dpi::kBase) return;
    RECT rc{};
    ::GetClientRect(picture, &rc);
    const int width = rc.right, height = rc.bottom;
    if (width <= 0 || height <= 0) return;

    GdiObject<HBITMAP> source(static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId),
                                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP info{};
    if (!source || ::GetObjectW(source.get(), sizeof info, &info) != sizeof info) return;

    // The part of the bitmap the control shows at 96 dpi, centred.
    const int srcWidth = std::min<int>(info.bmWidth, ::MulDiv(width, dpi::kBase, dpi));
    const int srcHeight = std::min<int>(info.bmHeight, ::MulDiv(height, dpi::kBase, dpi));
    const int srcX = (info.bmWidth - srcWidth) / 2;
    const int srcY = (info.bmHeight - srcHeight) / 2;

    ClientDC screen(picture);
    if (!screen.get()) return;
    MemoryDC from(screen.get());
    MemoryDC to(screen.get());
    GdiObject<HBITMAP> scaled(::CreateCompatibleBitmap(screen.get(), width, height));
    if (!from.get() || !to.get() || !scaled) return;
    {
        SelectGuard fromBitmap(from.get(), source.get());
        SelectGuard toBitmap(to.get(), scaled.get());
        // Averaged rather than dropped or doubled pixels: never blocky.
        ::SetStretchBltMode(to.get(), HALFTONE);
        ::SetBrushOrgEx(to.get(), 0, 0, nullptr);
        ::StretchBlt(to.get(), 0, 0, width, height, from.get(), srcX, srcY, srcWidth, srcHeight, SRCCOPY);
    }
    const HBITMAP previous = reinterpret_cast<HBITMAP>(
        ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled.get())));
    // The control hands back the bitmap it showed; the one it loaded from
    // the template is ours to delete, one of ours is deleted by the reset.
    if (previous && previous != m_scaled.get()) ::DeleteObject(previous);
    m_scaled = std::move(scaled);
}
