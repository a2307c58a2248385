// Digits and unsigned numbers in text, narrow or wide: the one digit table of
// the project and the plain ways its texts spell a number. Header only,
// window-free, no other dependency. Each caller keeps its own rules around
// the digits (blanks, a sign, other prefixes, what an empty text or a value
// too large means) and takes the digits themselves from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace numbers {

// The value given to a character that is not a digit: it has a bit above the
// low nibble, so OR-ing the values of several characters tells at once
// whether any of them was not a hexadecimal digit, and it is not below any
// base up to 16.
inline constexpr std::uint8_t kNotDigit = 0xF0;

constexpr std::array<std::uint8_t, 256> MakeDigitTable() {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t) v = kNotDigit;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    return t;
}

// The value of every byte as a digit: 0-9, A-F and a-f; kNotDigit for the rest.
inline constexpr std::array<std::uint8_t, 256> kDigitValue = MakeDigitTable();

// The value of a character (char or wchar_t) as a digit of any base up to 16,
// either letter case; kNotDigit when it is none.
template <class Char>
constexpr unsigned DigitValue(Char c) {
    const auto u = static_cast<std::make_unsigned_t<Char>>(c);
    if constexpr (sizeof(Char) == 1) {
        return kDigitValue[u];
    } else {
        return u < 256 ? kDigitValue[u] : kNotDigit;
    }
}

template <class Char>
constexpr bool IsDigit(Char c, unsigned base) {
    return DigitValue(c) < base;
}

// The digits of `base` at the start of a text, up to the first character that
// is not one.
struct DigitRun {
    std::uint64_t value = 0;  // the number they spell, modulo 2^64
    std::size_t digits = 0;   // how many there were
    bool overflow = false;    // the number went above the limit on the way
};

namespace detail {

template <class Char>
constexpr bool HasHexPrefix(std::basic_string_view<Char> text) {
    return text.size() > 2 && text[0] == Char('0') && (text[1] == Char('x') || text[1] == Char('X'));
}

template <class Char>
constexpr DigitRun ReadDigits(std::basic_string_view<Char> text, unsigned base, std::uint64_t limit) {
    DigitRun run;
    for (; run.digits < text.size(); ++run.digits) {
        const unsigned d = DigitValue(text[run.digits]);
        if (d >= base) break;
        if (d > limit || run.value > (limit - d) / base) run.overflow = true;
        run.value = run.value * base + d;
    }
    return run;
}

template <class Char>
constexpr bool ParseUnsigned(std::basic_string_view<Char> text, unsigned base, std::uint64_t limit,
                             std::uint64_t& out) {
    const DigitRun run = ReadDigits(text, base, limit);
    if (run.digits == 0 || run.digits != text.size() || run.overflow) return false;
    out = run.value;
    return true;
}

template <class Char>
constexpr bool ParseUnsignedAuto(std::basic_string_view<Char> text, std::uint64_t limit, std::uint64_t& out) {
    return HasHexPrefix(text) ? ParseUnsigned(text.substr(2), 16, limit, out) : ParseUnsigned(text, 10, limit, out);
}

}  // namespace detail

// "0x" or "0X" with at least one character after it.
constexpr bool HasHexPrefix(std::string_view text) { return detail::HasHexPrefix(text); }
constexpr bool HasHexPrefix(std::wstring_view text) { return detail::HasHexPrefix(text); }

// The digits at the start of text; limit only sets DigitRun::overflow.
constexpr DigitRun ReadDigits(std::string_view text, unsigned base, std::uint64_t limit = UINT64_MAX) {
    return detail::ReadDigits(text, base, limit);
}
constexpr DigitRun ReadDigits(std::wstring_view text, unsigned base, std::uint64_t limit = UINT64_MAX) {
    return detail::ReadDigits(text, base, limit);
}

// The whole text as a number of `base`: at least one digit and nothing else
// (no blank, no sign, no prefix). False, with out untouched, for any other
// text or a number above limit.
constexpr bool ParseUnsigned(std::string_view text, unsigned base, std::uint64_t limit, std::uint64_t& out) {
    return detail::ParseUnsigned(text, base, limit, out);
}
constexpr bool ParseUnsigned(std::wstring_view text, unsigned base, std::uint64_t limit, std::uint64_t& out) {
    return detail::ParseUnsigned(text, base, limit, out);
}

// The same with the base told by the text: hexadecimal after a prefix that
// HasHexPrefix accepts, decimal otherwise (so "0x" alone is refused).
constexpr bool ParseUnsignedAuto(std::string_view text, std::uint64_t limit, std::uint64_t& out) {
    return detail::ParseUnsignedAuto(text, limit, out);
}
constexpr bool ParseUnsignedAuto(std::wstring_view text, std::uint64_t limit, std::uint64_t& out) {
    return detail::ParseUnsignedAuto(text, limit, out);
}

}  // namespace numbers
