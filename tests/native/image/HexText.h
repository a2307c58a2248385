// Small helpers to write HEX records, S-records and expected images in tests.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hextest {

inline std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// One record with a correct checksum, upper case, no line end.
inline std::string Rec(unsigned type, unsigned address, const std::string& dataHex = "") {
    const std::vector<std::uint8_t> data = Bytes(dataHex);
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    std::string s = head;
    for (std::uint8_t b : data) sum += b;
    for (char& c : std::string(dataHex)) s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    char tail[4];
    std::snprintf(tail, sizeof tail, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return s + tail;
}

// The image of `length` bytes with nothing written: 0xFF below 0x10000, 0x00 above.
inline std::vector<std::uint8_t> Fill(std::size_t length) {
    std::vector<std::uint8_t> v(length);
    for (std::size_t a = 0; a < length; ++a) v[a] = a < 0x10000 ? 0xFF : 0x00;
    return v;
}

inline void Put(std::vector<std::uint8_t>& image, std::size_t at, const std::string& hex) {
    for (std::uint8_t b : Bytes(hex)) image.at(at++) = b;
}

// One S-record with a correct count and checksum: type, address of the
// type's width, data as hex digits.
inline std::string SRec(unsigned type, std::uint32_t address, const std::string& dataHex = "") {
    static const unsigned kWidth[10] = {2, 2, 3, 4, 2, 2, 3, 4, 3, 2};
    const std::vector<std::uint8_t> data = Bytes(dataHex);
    const unsigned width = kWidth[type];
    const unsigned count = width + static_cast<unsigned>(data.size()) + 1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "S%u%02X", type, count);
    std::string s = buf;
    unsigned sum = count;
    for (unsigned i = width; i-- > 0;) {
        const unsigned b = (address >> (8 * i)) & 0xFF;
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
        sum += b;
    }
    for (std::uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X", ~sum & 0xFF);
    return s + buf;
}

}  // namespace hextest
