// The banner above the main window's controls at the display's scale. The
// picture control shows the bitmap centred and clipped at its own size, which
// suits 96 dpi; at a larger scale the control grows with the dialog, and the
// bitmap is scaled with it, smoothly, so that the same part of it shows.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

class Banner {
public:
    Banner() = default;
    Banner(const Banner&) = delete;
    Banner& operator=(const Banner&) = delete;

    // Gives the picture control the bitmap resource scaled from 96 dpi to
    // dpi. At 96 dpi the control keeps the bitmap it loaded itself.
    void Fit(HWND picture, UINT bitmapId, int dpi);

private:
    GdiObject<HBITMAP> m_scaled;
};
