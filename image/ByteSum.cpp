#include "image/ByteSum.h"

#include <cwchar>

namespace image {

std::uint16_t ByteSum16(const std::uint8_t* bytes, std::size_t count) {
    // A 32-bit accumulator cannot overflow in 16M bytes; fold in chunks so any
    // length works and the inner loop stays free of the 16-bit wrap.
    constexpr std::size_t kChunk = 1u << 24;
    std::uint32_t sum = 0;
    while (count > 0) {
        const std::size_t n = count < kChunk ? count : kChunk;
        std::uint32_t part = 0;
        for (std::size_t i = 0; i < n; ++i) part += bytes[i];
        sum = (sum + part) & 0xFFFF;
        bytes += n;
        count -= n;
    }
    return static_cast<std::uint16_t>(sum);
}

std::wstring ChecksumText(std::uint16_t sum) {
    wchar_t text[8];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04X", static_cast<unsigned>(sum));
    return text;
}

std::wstring SizeText(std::uint32_t length) {
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"%lu", static_cast<unsigned long>(length));
    return text;
}

}  // namespace image
