#include "InsertAddress.h"

#include <cwchar>

namespace image {
namespace {

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

}  // namespace

std::uint32_t ParseInsertAddress(std::wstring_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    // "0x" counts as a prefix only when a digit follows; "0xg" is the number 0.
    if (i + 2 < n && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X') &&
        HexValue(text[i + 2]) >= 0)
        i += 2;
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        const int v = HexValue(text[i]);
        if (v < 0) break;
        value = (value << 4) | static_cast<unsigned>(v);
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value &= 0xFFFFFFFFu;  // keep the shift bounded; the result is fixed anyway
        }
    }
    if (overflow) return 0xFFFFFFFFu;
    const std::uint32_t v32 = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - v32) : v32;
}

std::uint32_t InsertOffsetOnOk(bool dataAreaChecked, std::wstring_view addressText) {
    return dataAreaChecked ? ParseInsertAddress(addressText) : 0;
}

std::wstring DataAddressText(std::uint32_t address) {
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"%08lX", static_cast<unsigned long>(address));
    return text;
}

}  // namespace image
