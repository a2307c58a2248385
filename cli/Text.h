// Text helpers of the console program: UTF-8 output of the tool's wide
// texts, CSV fields and fixed-point numbers. Window-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// UTF-16 (Windows) or UTF-32 (elsewhere) to UTF-8. An unpaired surrogate
// becomes U+FFFD, so a broken file name still prints.
std::string Utf8(std::wstring_view text);

// UTF-8 to a wide string (used for texts built in UTF-8 that go to a
// console or a file name); malformed bytes become U+FFFD.
std::wstring Widen(std::string_view utf8);

// A CSV field: quoted, with doubled quotes, when it holds a comma, a quote,
// CR or LF; as it is otherwise.
std::string CsvField(std::string_view utf8);

// "%.*f" in the C locale, whatever the process locale is.
std::string Fixed(double value, int decimals);

// "%0*X": upper-case hex digits, at least `digits` of them.
std::string HexText(std::uint64_t value, int digits);

}  // namespace cli
