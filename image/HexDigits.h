// What the two text formats (Intel HEX, Motorola S-record) share: their hex
// digits, read and written through tables so that the per-byte work of a
// large file stays two lookups, their lines and what a reader skips around
// them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "text/Numbers.h"

namespace image::hexdigits {

// Digit values: the project's one digit table. Its kNotDigit has a bit above
// the low nibble, so that OR-ing the values of a whole record tells at once
// whether any character was not a digit. The readers index it directly
// rather than through numbers::DigitValue: a byte needs no range test, and
// the per-character cost of a large file is this lookup.
inline constexpr std::uint8_t kBadDigit = numbers::kNotDigit;
inline constexpr const std::array<std::uint8_t, 256>& kDigit = numbers::kDigitValue;

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

// Room for blank lines and other slack in a text file beyond its densest
// legal records, when a file is refused by its length before it is read.
inline constexpr std::uint64_t kTextSlack = 1u << 20;

// For telling a format by one line: the digit pairs after the first `skip`
// characters of the line and their sum modulo 256; false for an odd count or
// a character that is not a digit.
inline bool LinePairs(std::string_view line, std::size_t skip, unsigned& sum, std::size_t& pairs) {
    if ((line.size() - skip) % 2 != 0) return false;
    sum = 0;
    pairs = (line.size() - skip) / 2;
    for (std::size_t i = skip; i < line.size(); i += 2) {
        const unsigned v = Pair(reinterpret_cast<const std::uint8_t*>(line.data()) + i);
        if (v & kBadPair) return false;
        sum += v;
    }
    sum &= 0xFF;
    return true;
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

// The writers fill a string sized beforehand through a plain pointer: one
// table lookup and a two-byte copy per byte keeps a 16 MiB save to tens of
// milliseconds.
inline char* PutByte(char* w, std::uint8_t b) {
    std::memcpy(w, kPairText.text[b], 2);
    return w + 2;
}

inline char* PutLineEnd(char* w) {
    w[0] = '\r';
    w[1] = '\n';
    return w + 2;
}

inline char* PutText(char* w, std::string_view text) {
    std::memcpy(w, text.data(), text.size());
    return w + text.size();
}

// Bytes as digit pairs; returns their sum.
inline unsigned PutData(char*& w, const std::uint8_t* data, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::memcpy(w + 2 * i, kPairText.text[data[i]], 2);
        sum += data[i];
    }
    w += 2 * n;
    return sum;
}

}  // namespace image::hexdigits
