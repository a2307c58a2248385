// Pairs of hex digits to bytes, the inner loop of reading Intel HEX text.
//
// DecodeHexPairs turns `pairs` pairs of hex digits (either letter case) at
// text into bytes at out and adds the bytes to *sum. It returns false when
// any of the 2 * pairs characters is not a hex digit; out and *sum are then
// unspecified. Where the processor has 16-byte vector instructions (SSE2 on
// x86) it decodes eight pairs a step; the rest, and every other processor,
// goes through DecodeHexPairsScalar, which gives the same results on every
// input and is kept callable for the tests and fuzzers that hold the two
// together.
#pragma once

#include <cstddef>
#include <cstdint>

namespace image {

bool DecodeHexPairs(const std::uint8_t* text, std::size_t pairs, std::uint8_t* out, unsigned* sum);
bool DecodeHexPairsScalar(const std::uint8_t* text, std::size_t pairs, std::uint8_t* out, unsigned* sum);

// True when DecodeHexPairs has a wide path in this build.
bool HexPairsAreWide();

}  // namespace image
