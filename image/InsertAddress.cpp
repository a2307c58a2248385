#include "image/InsertAddress.h"

#include <cwchar>

#include "text/Numbers.h"

namespace image {
namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r'; }

}  // namespace

std::uint32_t ParseInsertAddress(std::wstring_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    // "0x" counts as a prefix only when a digit follows; "0xg" is the number 0.
    if (numbers::HasHexPrefix(text.substr(i)) && numbers::IsDigit(text[i + 2], 16)) i += 2;
    // Digits up to the first non-digit; a value beyond 32 bits saturates.
    const numbers::DigitRun run = numbers::ReadDigits(text.substr(i), 16, 0xFFFFFFFFu);
    if (run.overflow) return 0xFFFFFFFFu;
    const std::uint32_t v32 = static_cast<std::uint32_t>(run.value);
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
