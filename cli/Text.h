// Text helpers of the console program: UTF-8 output of the tool's wide
// texts, CSV fields and fixed-point numbers. Window-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/Utf8.h"

namespace cli {

// UTF-8 and wide strings (text/Utf8.h).
using text::Utf8;
using text::Widen;

// A CSV field: quoted, with doubled quotes, when it holds a comma, a quote,
// CR or LF; as it is otherwise.
std::string CsvField(std::string_view utf8);

// "%.*f" in the C locale, whatever the process locale is.
std::string Fixed(double value, int decimals);

// "%0*X": upper-case hex digits, at least `digits` of them.
std::string HexText(std::uint64_t value, int digits);

}  // namespace cli
