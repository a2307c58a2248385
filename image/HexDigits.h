// Hexadecimal digits of the text formats (Intel HEX, Motorola S-record), read
// and written through tables so that the per-byte work of a large file stays
// two lookups.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace image::hexdigits {

// Digit values; kBadDigit has a bit above the low nibble so that OR-ing the
// values of a whole record tells at once whether any character was not a digit.
inline constexpr std::uint8_t kBadDigit = 0xF0;

constexpr std::array<std::uint8_t, 256> MakeDigitTable() {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t) v = kBadDigit;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    return t;
}
inline constexpr std::array<std::uint8_t, 256> kDigit = MakeDigitTable();

// A digit's value already in place as the high or the low nibble of a byte,
// so that a pair converts with two lookups and an OR; kBadPair marks a
// character that is not a digit.
inline constexpr std::uint16_t kBadPair = 0x100;

struct NibbleTables {
    std::uint16_t high[256];
    std::uint16_t low[256];
};

constexpr NibbleTables MakeNibbleTables() {
    NibbleTables t{};
    for (unsigned c = 0; c < 256; ++c) {
        const bool bad = kDigit[c] & kBadDigit;
        t.high[c] = bad ? kBadPair : static_cast<std::uint16_t>(kDigit[c] << 4);
        t.low[c] = bad ? kBadPair : kDigit[c];
    }
    return t;
}
inline constexpr NibbleTables kNibble = MakeNibbleTables();

// The byte of two digits, or a value with kBadPair set.
inline unsigned Pair(const std::uint8_t* d) { return kNibble.high[d[0]] | kNibble.low[d[1]]; }

inline bool IsLineEnd(std::uint8_t c) { return c == '\r' || c == '\n'; }
inline bool IsBlank(std::uint8_t c) { return c == ' ' || c == '\t'; }

// The part of a text file that the line formats read: up to its first NUL,
// after a UTF-8 byte-order mark at the very start.
struct TextRange {
    const std::uint8_t* begin;
    const std::uint8_t* end;
};

inline TextRange RecordText(const std::uint8_t* text, std::size_t length) {
    if (text == nullptr) return TextRange{text, text};
    if (const void* nul = length ? std::memchr(text, 0, length) : nullptr)
        length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - text);
    const std::uint8_t* begin = text;
    if (length >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) begin += 3;
    return TextRange{begin, text + length};
}

// Upper-case digit pairs of every byte value, for the writers.
struct PairTable {
    char text[256][2];
};

constexpr PairTable MakePairTable() {
    PairTable t{};
    constexpr char digits[] = "0123456789ABCDEF";
    for (unsigned b = 0; b < 256; ++b) {
        t.text[b][0] = digits[b >> 4];
        t.text[b][1] = digits[b & 15];
    }
    return t;
}
inline constexpr PairTable kPairText = MakePairTable();

}  // namespace image::hexdigits
