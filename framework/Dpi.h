// Dots per inch of a window, for drawing at the display's scale. The tool
// declares per-monitor awareness in its manifest, so the system does not
// stretch its windows: what is measured in pixels (fonts made by the tool,
// insets, bitmaps) is scaled here from the 96-dpi values it was chosen at.
#pragma once

#include <windows.h>

namespace dpi {

// The scale the tool's pixel values were chosen at.
constexpr int kBase = 96;

// The window's dpi: GetDpiForWindow where the system has it (Windows 10
// 1607 and later; looked up at run time so the tool still starts without
// it), otherwise the LOGPIXELSY of the window's device context.
int ForWindow(HWND hwnd);

// A 96-dpi pixel value at another dpi, rounded to the nearest pixel.
inline int Scale(int value, int dpi) { return ::MulDiv(value, dpi, kBase); }

// WM_DPICHANGED and WM_DPICHANGED_AFTERPARENT, missing from older headers.
constexpr UINT kMsgDpiChanged = 0x02E0;
constexpr UINT kMsgDpiChangedAfterParent = 0x02E3;

}  // namespace dpi
