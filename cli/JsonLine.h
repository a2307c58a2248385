// The console programmer's JSON Lines: one compact object a line, fields in
// the order they are set. Window-free.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace cli {

using JsonObject = nlohmann::ordered_json;

// One record as a line of text: UTF-8 kept as it is (a malformed byte
// becomes U+FFFD), control characters escaped, numbers with a decimal point
// whatever the process locale is.
std::string JsonLine(const JsonObject& record);

// value rounded to `decimals` places, as the console lines print it: the
// seconds of a board to the millisecond, a rate to a tenth. Not a finite
// number: 0.
double Rounded(double value, int decimals);

}  // namespace cli
