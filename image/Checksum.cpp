#include "image/Checksum.h"

#include <algorithm>
#include <array>

#include "image/Crc32.h"
#include "text/Numbers.h"

namespace image {
namespace {

struct Named {
    ChecksumAlgorithm algorithm;
    const char* name;
    unsigned bytes;
};

constexpr Named kAlgorithms[] = {
    {ChecksumAlgorithm::Crc32, "crc32", 4},
    {ChecksumAlgorithm::Crc32c, "crc32c", 4},
    {ChecksumAlgorithm::Crc16CcittFalse, "crc16-ccitt-false", 2},
    {ChecksumAlgorithm::Crc16Xmodem, "crc16-xmodem", 2},
    {ChecksumAlgorithm::Crc16Modbus, "crc16-modbus", 2},
    {ChecksumAlgorithm::Sum8, "sum8", 1},
    {ChecksumAlgorithm::Sum16, "sum16", 2},
    {ChecksumAlgorithm::Sum8Twos, "sum8-twos", 1},
};

const Named& Find(ChecksumAlgorithm algorithm) {
    for (const Named& n : kAlgorithms)
        if (n.algorithm == algorithm) return n;
    return kAlgorithms[0];
}

// Table of a reflected CRC (least significant bit first).
template <class T>
constexpr std::array<T, 256> ReflectedTable(T polynomial) {
    std::array<T, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        T c = static_cast<T>(i);
        for (int k = 0; k < 8; ++k) c = static_cast<T>((c & 1) ? (c >> 1) ^ polynomial : c >> 1);
        table[i] = c;
    }
    return table;
}

// Table of a 16-bit CRC taken most significant bit first.
constexpr std::array<std::uint16_t, 256> ForwardTable16(std::uint16_t polynomial) {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i << 8);
        for (int k = 0; k < 8; ++k) c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ polynomial : c << 1);
        table[i] = c;
    }
    return table;
}

constexpr auto kCrc32c = ReflectedTable<std::uint32_t>(0x82F63B78u);
constexpr auto kModbus = ReflectedTable<std::uint16_t>(0xA001u);
constexpr auto kCcitt = ForwardTable16(0x1021u);

std::uint16_t Crc16Forward(std::uint16_t crc, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCcitt[((crc >> 8) ^ bytes[i]) & 0xFF]);
    return crc;
}

bool ParseHex32(std::string_view text, std::uint32_t* value) {
    if (numbers::HasHexPrefix(text)) text.remove_prefix(2);
    std::uint64_t v = 0;
    if (text.empty() || text.size() > 8 || !numbers::ParseUnsigned(text, 16, 0xFFFFFFFFu, v)) return false;
    *value = static_cast<std::uint32_t>(v);
    return true;
}

std::string Hex(std::uint32_t value, int digits) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) s[static_cast<std::size_t>(i)] = kDigits[value & 15];
    return s;
}

}  // namespace

const char* ChecksumName(ChecksumAlgorithm algorithm) { return Find(algorithm).name; }

unsigned ChecksumBytes(ChecksumAlgorithm algorithm) { return Find(algorithm).bytes; }

std::uint32_t ComputeChecksum(ChecksumAlgorithm algorithm, const std::uint8_t* bytes, std::size_t count) {
    switch (algorithm) {
    case ChecksumAlgorithm::Crc32: return Crc32(bytes, count);
    case ChecksumAlgorithm::Crc32c: {
        std::uint32_t crc = 0xFFFFFFFFu;
        for (std::size_t i = 0; i < count; ++i) crc = kCrc32c[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
        return ~crc;
    }
    case ChecksumAlgorithm::Crc16CcittFalse: return Crc16Forward(0xFFFF, bytes, count);
    case ChecksumAlgorithm::Crc16Xmodem: return Crc16Forward(0x0000, bytes, count);
    case ChecksumAlgorithm::Crc16Modbus: {
        std::uint16_t crc = 0xFFFF;
        for (std::size_t i = 0; i < count; ++i)
            crc = static_cast<std::uint16_t>(kModbus[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8));
        return crc;
    }
    case ChecksumAlgorithm::Sum8:
    case ChecksumAlgorithm::Sum16:
    case ChecksumAlgorithm::Sum8Twos: {
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
        if (algorithm == ChecksumAlgorithm::Sum16) return sum & 0xFFFF;
        if (algorithm == ChecksumAlgorithm::Sum8) return sum & 0xFF;
        return (0x100 - (sum & 0xFF)) & 0xFF;
    }
    }
    return 0;
}

bool ParseChecksumStep(std::string_view text, ChecksumStep* step, std::string* why) {
    const std::string usage = "expected ALG:START-END@ADDR[:big|:little], such as crc32:0-7FFB@7FFC";
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        *why = usage;
        return false;
    }
    const std::string_view name = text.substr(0, colon);
    bool known = false;
    for (const Named& n : kAlgorithms) {
        if (name == n.name) {
            step->algorithm = n.algorithm;
            known = true;
        }
    }
    if (!known) {
        *why = "unknown algorithm '" + std::string(name) +
               "' (crc32, crc32c, crc16-ccitt-false, crc16-xmodem, crc16-modbus, sum8, sum16 or sum8-twos)";
        return false;
    }
    std::string_view rest = text.substr(colon + 1);
    step->bigEndian = false;
    if (const std::size_t order = rest.find(':'); order != std::string_view::npos) {
        const std::string_view word = rest.substr(order + 1);
        if (word != "big" && word != "little") {
            *why = "byte order '" + std::string(word) + "': expected big or little";
            return false;
        }
        step->bigEndian = word == "big";
        rest = rest.substr(0, order);
    }
    const std::size_t at = rest.find('@'), dash = rest.find('-');
    if (at == std::string_view::npos || dash == std::string_view::npos || dash > at ||
        !ParseHex32(rest.substr(0, dash), &step->start) ||
        !ParseHex32(rest.substr(dash + 1, at - dash - 1), &step->end) ||
        !ParseHex32(rest.substr(at + 1), &step->address)) {
        *why = usage;
        return false;
    }
    if (step->end < step->start) {
        *why = "the range ends before it starts";
        return false;
    }
    return true;
}

std::string ChecksumStepText(const ChecksumStep& step) {
    return std::string(ChecksumName(step.algorithm)) + ":" + Hex(step.start, 4) + "-" + Hex(step.end, 4) + "@" +
           Hex(step.address, 4) + (step.bigEndian ? ":big" : ":little");
}

std::string ChecksumStepProblem(const ChecksumStep& step, std::uint32_t capacity) {
    const std::uint64_t last = static_cast<std::uint64_t>(step.address) + ChecksumBytes(step.algorithm) - 1;
    if (step.end < step.start) return "the range ends before it starts";
    if (step.end >= capacity)
        return "the range 0x" + Hex(step.start, 4) + "-0x" + Hex(step.end, 4) + " lies past the area's " +
               std::to_string(capacity) + " bytes";
    if (last >= capacity)
        return "the value at 0x" + Hex(step.address, 4) + " lies past the area's " + std::to_string(capacity) +
               " bytes";
    if (step.address <= step.end && last >= step.start)
        return "the value at 0x" + Hex(step.address, 4) + " would lie inside its own range";
    return "";
}

std::string ApplyChecksums(std::vector<std::uint8_t>& image, std::uint32_t capacity,
                           const std::vector<ChecksumStep>& steps, std::vector<ChecksumValue>* values) {
    for (const ChecksumStep& step : steps) {
        const std::string problem = ChecksumStepProblem(step, capacity);
        if (!problem.empty()) return ChecksumStepText(step) + ": " + problem;
    }
    std::vector<std::uint8_t> out = image;
    std::vector<ChecksumValue> computed;
    for (const ChecksumStep& step : steps) {
        const unsigned bytes = ChecksumBytes(step.algorithm);
        const std::size_t needed = std::max<std::size_t>(step.end + std::size_t{1}, step.address + std::size_t{bytes});
        if (out.size() < needed) out.resize(needed, 0xFF);
        const std::uint32_t value = ComputeChecksum(step.algorithm, out.data() + step.start, step.end - step.start + 1);
        for (unsigned i = 0; i < bytes; ++i) {
            const unsigned shift = 8 * (step.bigEndian ? bytes - 1 - i : i);
            out[step.address + i] = static_cast<std::uint8_t>(value >> shift);
        }
        computed.push_back({step, value});
    }
    image.swap(out);
    if (values != nullptr) *values = std::move(computed);
    return "";
}

std::string ChecksumValueText(const ChecksumValue& value) {
    const ChecksumStep& s = value.step;
    return std::string(ChecksumName(s.algorithm)) + " " + Hex(s.start, 4) + "-" + Hex(s.end, 4) + " @" +
           Hex(s.address, 4) + " = " + Hex(value.value, static_cast<int>(2 * ChecksumBytes(s.algorithm)));
}

}  // namespace image
