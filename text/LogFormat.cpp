#include "text/LogFormat.h"

#include <cstdio>

namespace logfmt {

std::wstring Heading(int lineNo, const std::wstring& operation) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", lineNo);
    return std::wstring(number, number + std::char_traits<char>::length(number)) + L" - " + operation + L" =>";
}

double ElapsedSeconds(std::uint32_t startTick, std::uint32_t nowTick) {
    return static_cast<double>(static_cast<std::uint32_t>(nowTick - startTick)) / 1000.0;
}

std::wstring ElapsedTail(double seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "   [%.3f\"]\r\n", seconds);
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

}  // namespace logfmt
