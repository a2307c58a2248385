// Checksum and size texts shown beside a code buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace image {

// Sum of all bytes, each unsigned, modulo 65536.
std::uint16_t ByteSum16(const std::uint8_t* bytes, std::size_t count);

// "%04X": four upper-case hex digits, leading zeros.
std::wstring ChecksumText(std::uint16_t sum);

// "%d" of the buffer length: decimal, no separators.
std::wstring SizeText(std::uint32_t length);

}  // namespace image
