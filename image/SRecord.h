// Motorola S-record text to a flat memory image.
//
// The image follows the Intel HEX loader's address model: it starts at address
// 0 of the file's address space and ends at the highest end address of any
// data record; bytes no record writes read 0xFF.
//
// Records: "S" type(1 digit) count(1) address(2, 3 or 4) data checksum, all
// but the type as pairs of hex digits, either letter case. count is the number
// of bytes after it; the checksum is the one's complement of the low byte of
// the sum of count, address and data. Types:
//   S0 header, ignored.
//   S1, S2, S3 data at a 16-, 24- or 32-bit address.
//   S5, S6 the number of S1/S2/S3 records so far (16 or 24 bits); checked.
//   S7, S8, S9 end (start address, ignored): everything after it is ignored.
// Lines end with CR, LF or CR LF; empty lines, a UTF-8 byte-order mark at the
// very start and blanks and tabs around a record are ignored. The text ends at
// its first NUL.
//
// Anything else (a line that is not a record, S4, a count too short for the
// address, digits that do not match the count, a wrong checksum or record
// count, data past the 32-bit address space) makes the whole text Malformed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ImageResult.h"

namespace image {

// roomLeft as for ParseIntelHex: a data record ending beyond it gives TooLarge
// before anything is allocated for it.
ImageResult ParseSRecord(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft);

}  // namespace image
