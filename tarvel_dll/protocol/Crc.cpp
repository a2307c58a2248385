#include "tarvel_dll/protocol/Crc.h"

#include <array>

namespace tarvel {
namespace {

std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b) c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : (c << 1));
        t[i] = c;
    }
    return t;
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc) {
    static const std::array<std::uint16_t, 256> table = MakeCrc16Table();
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

}  // namespace tarvel
