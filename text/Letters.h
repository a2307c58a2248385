// Names compared as Windows users type them: ASCII letters without their
// case ("com7" is COM7, "t30c64" is T30C64). Window-free, header only.
#pragma once

#include <string_view>

namespace text {

constexpr wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

constexpr bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

}  // namespace text
