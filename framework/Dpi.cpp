#include "framework/Dpi.h"

namespace dpi {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

GetDpiForWindowFn DpiForWindowFunction() {
    // Looked up once; user32 stays loaded for the life of the process.
    static const GetDpiForWindowFn fn = [] {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<GetDpiForWindowFn>(
                            reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")))
                      : nullptr;
    }();
    return fn;
}

}  // namespace

int ForWindow(HWND hwnd) {
    if (GetDpiForWindowFn fn = DpiForWindowFunction()) {
        if (hwnd) {
            const UINT value = fn(hwnd);
            if (value != 0) return static_cast<int>(value);
        }
    }
    HDC dc = ::GetDC(hwnd);
    if (!dc) return kBase;
    const int value = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(hwnd, dc);
    return value > 0 ? value : kBase;
}

}  // namespace dpi
