// Checksums of the programming protocol.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel {

// CRC-16/CCITT-FALSE (polynomial 0x1021, initial value 0xFFFF): guards
// every frame on the line.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0xFFFF);

// CRC-32 (IEEE 802.3, reflected, as zlib computes it): the checksum the
// target reports for a memory area and for its information block.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace tarvel
