#include "cli/Text.h"

#include <cmath>

namespace cli {

std::string CsvField(std::string_view utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(utf8);
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string Fixed(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    // snprintf follows the C locale's decimal point; build it from integers
    // instead so that a process locale with a decimal comma cannot break a
    // CSV or JSON record.
    const bool negative = value < 0;
    double scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const double scaled = std::floor(std::fabs(value) * scale + 0.5);
    const auto whole = static_cast<unsigned long long>(scaled / scale);
    auto frac = static_cast<unsigned long long>(scaled - static_cast<double>(whole) * scale);
    std::string out = negative && scaled != 0 ? "-" : "";
    out += std::to_string(whole);
    if (decimals > 0) {
        std::string f = std::to_string(frac);
        out += '.';
        out.append(static_cast<std::size_t>(decimals) - f.size(), '0');
        out += f;
    }
    return out;
}

std::string HexText(std::uint64_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(out.size()) < digits) out.insert(0, static_cast<std::size_t>(digits) - out.size(), '0');
    return out;
}

}  // namespace cli
