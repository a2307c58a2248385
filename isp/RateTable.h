// Rates offered in the "Baudrate" (download) and "Checkrate" lists, and the
// rule that fills the two lists for a port and a part class. Window-free.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Rates in bits per second, in the order the lists show them. The adapter
// runs the non-standard download rates 51200 and 102400 and has no rate
// below 4800.
struct RateTable {
    static constexpr std::array<std::uint32_t, 9> kBaudrateCom = {1200,  2400,  4800,  9600,  14400,
                                                                  19200, 38400, 57600, 115200};
    static constexpr std::array<std::uint32_t, 8> kBaudrateAdapter = {4800,  9600,  19200,  38400,
                                                                      51200, 57600, 102400, 115200};
    static constexpr std::array<std::uint32_t, 4> kCheckrateCom = {1200, 2400, 4800, 9600};
    static constexpr std::array<std::uint32_t, 2> kCheckrateAdapter = {4800, 9600};
};

// A port entry names a COM port when it begins with "COM" (case-sensitive);
// every other entry is the programming adapter.
bool IsComPortName(const std::wstring& portName);

// A port as a command line or a project file names it.
struct PortChoice {
    bool com = false;
    std::wstring name;  // "COM7" or "KV707"
};
// COMn (n 1 to 255, no leading zero; "com7" is taken as COM7) or KV707 in
// any letter case. False for anything else.
bool NormalizePort(const std::wstring& text, PortChoice* port);

// Items of the download-rate list (downloadList true) or of the check-rate
// list for the port kind and the selected part's class. Parts of class 1 and
// 2 talk at 115200 only; otherwise the download list starts with "Auto".
std::vector<std::wstring> RateListItems(bool downloadList, bool comPort, int partClass);

// A rate list's text as a number: its leading decimal digits (after blanks
// and an optional sign), 0 when there are none, so "Auto" gives 0.
std::uint32_t RateValue(const std::wstring& text);

// The name CreateFile opens a COM port under: "COM1" to "COM9" as they are,
// longer names (COM10 and up) only in the device namespace, "\\.\COM10".
std::wstring ComDeviceName(const std::wstring& portName);
