// Checksums of the programming protocol.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/Crc32.h"

namespace tarvel {

// CRC-16/CCITT-FALSE (polynomial 0x1021, initial value 0xFFFF): guards
// every frame on the line.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0xFFFF);

// CRC-32 (image/Crc32.h): the checksum the target reports for a memory area
// and for its information block.
using image::Crc32;

}  // namespace tarvel
