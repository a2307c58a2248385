// CRC-32 of an image as most programming and archive tools print it
// (IEEE 802.3: reflected polynomial 0xEDB88320, initial value and final
// XOR 0xFFFFFFFF), so that a production engineer can compare the figure with
// the one their build system wrote. Window-free.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cli {

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t count);

}  // namespace cli
