// Owners for handles and GDI objects: each releases its object once, in the
// right order (a selected object is deselected before it is deleted).
#pragma once

#include <windows.h>

#include <utility>

// One owner for every kind of handle: Traits names the handle type, what
// counts as "none" and how the handle is released.
template <class Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle h) : m_h(h) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& o) noexcept : m_h(std::exchange(o.m_h, Handle{})) {}
    UniqueResource& operator=(UniqueResource&& o) noexcept {
        if (this != &o) reset(std::exchange(o.m_h, Handle{}));
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Handle get() const { return m_h; }
    // For a call that reads an array of handles.
    const Handle* ptr() const { return &m_h; }
    bool valid() const { return Traits::Valid(m_h); }
    explicit operator bool() const { return valid(); }
    Handle release() { return std::exchange(m_h, Handle{}); }
    void reset(Handle h = Handle{}) {
        if (valid()) Traits::Release(m_h);
        m_h = h;
    }

private:
    Handle m_h{};
};

// A kernel handle closed with CloseHandle. Both null and INVALID_HANDLE_VALUE
// mean "none" (CreateFile reports failure with the latter).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Release(HANDLE h) { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// A GDI object (font, bitmap, brush, pen, region) deleted with DeleteObject.
template <class T>
struct GdiObjectTraits {
    using Handle = T;
    static bool Valid(T h) { return h != nullptr; }
    static void Release(T h) { ::DeleteObject(h); }
};
template <class T>
using GdiObject = UniqueResource<GdiObjectTraits<T>>;

// A loaded module released with FreeLibrary.
struct ModuleTraits {
    using Handle = HMODULE;
    static bool Valid(HMODULE h) { return h != nullptr; }
    static void Release(HMODULE h) { ::FreeLibrary(h); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

// Selects an object into a DC and restores the previous one on scope exit.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~SelectGuard() {
        if (m_old) ::SelectObject(m_dc, m_old);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// BeginPaint / EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND hwnd) : m_hwnd(hwnd) { m_dc = ::BeginPaint(hwnd, &m_ps); }
    ~PaintDC() { ::EndPaint(m_hwnd, &m_ps); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC get() const { return m_dc; }
    const PAINTSTRUCT& ps() const { return m_ps; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc = nullptr;
};

// GetDC / ReleaseDC.
class ClientDC {
public:
    explicit ClientDC(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    ~ClientDC() {
        if (m_dc) ::ReleaseDC(m_hwnd, m_dc);
    }
    ClientDC(const ClientDC&) = delete;
    ClientDC& operator=(const ClientDC&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// CreateCompatibleDC / DeleteDC.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatible) : m_dc(::CreateCompatibleDC(compatible)) {}
    ~MemoryDC() {
        if (m_dc) ::DeleteDC(m_dc);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC get() const { return m_dc; }

private:
    HDC m_dc;
};
