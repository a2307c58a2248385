// The record layout of Intel HEX (IntelHex.h): the record types, the largest
// record and the address model.
#pragma once

#include <cstddef>
#include <cstdint>

namespace image::ihex {

// Below this address an unwritten byte is erased Flash (0xFF); above it the
// extended address windows start zero-filled.
inline constexpr std::uint64_t kFirstWindow = 0x10000;

// Largest record: count, address (2), type, 255 data bytes, checksum.
inline constexpr std::size_t kMaxRecord = 1 + 2 + 1 + 255 + 1;

enum RecordType : std::uint8_t {
    kData = 0,
    kEndOfFile = 1,
    kSegmentBase = 2,
    kSegmentStart = 3,
    kLinearBase = 4,
    kLinearStart = 5,
};

}  // namespace image::ihex
