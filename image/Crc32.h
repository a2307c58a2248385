// CRC-32 as most programming and archive tools print it (IEEE 802.3:
// reflected polynomial 0xEDB88320, initial value and final XOR 0xFFFFFFFF,
// as zlib computes it): the figure the console programmer prints for an
// image, so that a production engineer can compare it with the one their
// build system wrote, and the checksum the programming protocol's target
// reports for a memory area. Window-free.
#pragma once

#include <cstddef>
#include <cstdint>

namespace image {

// The CRC of size bytes; crc is the CRC of the bytes before them, so that a
// long area can be taken piece by piece.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace image
