// Owners for handles and GDI objects: each releases its object once, in the
// right order (a selected object is deselected before it is deleted).
#pragma once

#include <windows.h>

#include <utility>

// A kernel handle closed with CloseHandle. Both null and INVALID_HANDLE_VALUE
// mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : m_h(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.m_h, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange(m_h, nullptr); }
    void reset(HANDLE h = nullptr) {
        if (valid()) ::CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h = nullptr;
};

// A GDI object (font, bitmap, brush, pen, region) deleted with DeleteObject.
template <class T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T h) : m_h(h) {}
    ~GdiObject() { reset(); }
    GdiObject(GdiObject&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) reset(std::exchange(o.m_h, nullptr));
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset(T h = nullptr) {
        if (m_h) ::DeleteObject(m_h);
        m_h = h;
    }

private:
    T m_h = nullptr;
};

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

// A loaded module released with FreeLibrary.
class UniqueModule {
public:
    UniqueModule() = default;
    explicit UniqueModule(HMODULE h) : m_h(h) {}
    ~UniqueModule() {
        if (m_h) ::FreeLibrary(m_h);
    }
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;
    HMODULE get() const { return m_h; }

private:
    HMODULE m_h = nullptr;
};
