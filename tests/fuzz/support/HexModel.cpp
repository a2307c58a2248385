#include "tests/fuzz/support/HexModel.h"

#include <map>
#include <vector>

namespace hexmodel {
namespace {

using image::Refused;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int Value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return c - 'a' + 10;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

}  // namespace

image::ImageResult ModelParse(const std::string& input, std::uint64_t roomLeft) {
    using image::ImageStatus;
    std::string text = input.substr(0, input.find('\0'));
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

    std::map<std::uint64_t, std::uint8_t> memory;
    std::uint64_t highest = 0;
    std::uint64_t base = 0;
    for (const std::string& raw : SplitLines(text)) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] != ':') continue;
        const std::string digits = line.substr(1);
        if (digits.empty() || digits.size() % 2 != 0 || digits.size() > 520) return Refused(ImageStatus::Malformed);
        std::vector<int> bytes;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            if (!IsHexDigit(digits[i]) || !IsHexDigit(digits[i + 1])) return Refused(ImageStatus::Malformed);
            bytes.push_back(Value(digits[i]) * 16 + Value(digits[i + 1]));
        }
        if (bytes.size() < 5) return Refused(ImageStatus::Malformed);
        const int count = bytes[0];
        if (static_cast<int>(bytes.size()) != count + 5) return Refused(ImageStatus::Malformed);
        int sum = 0;
        for (int b : bytes) sum += b;
        if (sum % 256 != 0) return Refused(ImageStatus::Malformed);
        const std::uint64_t address = bytes[1] * 256 + bytes[2];
        const int type = bytes[3];
        if (type == 0) {
            const std::uint64_t end = base + address + count;
            if (end > roomLeft) return Refused(ImageStatus::TooLarge);
            for (int i = 0; i < count; ++i) memory[base + address + i] = static_cast<std::uint8_t>(bytes[4 + i]);
            if (end > highest) highest = end;
        } else if (type == 1) {
            break;
        } else if (type == 2 || type == 4) {
            if (count != 2 || address != 0) return Refused(ImageStatus::Malformed);
            const std::uint64_t value = bytes[4] * 256 + bytes[5];
            base = type == 2 ? value * 16 : value * 65536;
        } else if (type == 3 || type == 5) {
            continue;
        } else {
            return Refused(ImageStatus::Malformed);
        }
    }

    image::ImageResult r;
    r.bytes.resize(highest);
    for (std::uint64_t a = 0; a < highest; ++a) r.bytes[a] = a < 0x10000 ? 0xFF : 0x00;
    for (const auto& [address, value] : memory) r.bytes[address] = value;
    return r;
}

}  // namespace hexmodel
