#include "tarvel_dll/ComLink.h"

namespace tarvel {

bool ComLink::Configure(std::uint32_t rate) {
    // A handle of a file or a pipe has no line settings: GetCommState fails.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (port_ == nullptr || port_ == INVALID_HANDLE_VALUE || GetFileType(port_) != FILE_TYPE_CHAR ||
        !GetCommState(port_, &dcb)) {
        return false;
    }
    SetupComm(port_, 4096, 4096);
    dcb.BaudRate = rate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // DTR and RTS high: they power the level shifter of common ISP cables.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(port_, &dcb)) return false;
    readTimeout_ = 0xFFFFFFFFu;
    if (!SetReadTimeout(20)) return false;
    Purge();
    return true;
}

bool ComLink::SetReadTimeout(std::uint32_t ms) {
    if (ms == readTimeout_) return true;
    // Interval and multiplier 0: ReadFile returns once the requested bytes
    // are in, or after the total constant with what has come.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = ms;
    // The host writes in slices of 64 bytes and up; at 1200 bit/s such a
    // slice takes about half a second on the line.
    t.WriteTotalTimeoutMultiplier = 10;
    t.WriteTotalTimeoutConstant = 1000;
    if (!SetCommTimeouts(port_, &t)) return false;
    readTimeout_ = ms;
    return true;
}

bool ComLink::Write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(size > 65536 ? 65536 : size);
        if (!WriteFile(port_, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

std::size_t ComLink::Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) {
    if (size == 0) return 0;
    if (!SetReadTimeout(timeoutMs == 0 ? 1 : timeoutMs)) return 0;
    DWORD got = 0;
    if (!ReadFile(port_, buf, static_cast<DWORD>(size), &got, nullptr)) return 0;
    return got;
}

bool ComLink::SetRate(std::uint32_t rate) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port_, &dcb)) return false;
    dcb.BaudRate = rate;
    return SetCommState(port_, &dcb) != FALSE;
}

void ComLink::Purge() { PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT); }

}  // namespace tarvel
