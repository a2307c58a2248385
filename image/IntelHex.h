// Intel HEX text to a flat memory image.
//
// The image starts at address 0 of the file's address space, whatever the
// lowest record address is, and ends at the highest end address of any data
// record. Bytes no record writes read 0xFF below 0x10000 (erased Flash of the
// first 64 KiB window) and 0x00 above it.
//
// Records: ":" count(1) address(2, big-endian) type(1) data(count) checksum(1),
// all as pairs of hex digits, either letter case. Types:
//   0 data, at base + address; a record may run past base + 0xFFFF and then
//     simply continues upwards; a zero-length record still extends the image.
//   1 end of file: everything after it is ignored.
//   2 extended segment address (base = value << 4),
//   4 extended linear address (base = value << 16): count 2, address 0.
//   3, 5 start address: carry nothing for the image and are skipped.
// Lines end with CR, LF or CR LF; empty lines, a UTF-8 byte-order mark at the
// very start, blanks and tabs around a record are ignored, and a line that does
// not start with a colon is skipped. The text ends at its first NUL.
//
// Anything else inside a record (a non-hex character, a digit count that does
// not match the count byte, a wrong checksum, a bad base record, a type above 5)
// makes the whole text Malformed: a damaged file must not be programmed with
// pieces missing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ImageResult.h"

namespace image {

// roomLeft is the number of bytes the target buffer can take from the image's
// address 0 on (capacity minus insert offset). The parse stops with TooLarge
// as soon as a data record would end beyond it, so a stray high address costs
// no allocation; nothing is ever allocated beyond roomLeft.
ImageResult ParseIntelHex(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft);

}  // namespace image
