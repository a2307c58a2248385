// Motorola S-record: telling it by its first record, reading it into a flat
// memory image, and writing it.
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
#include <string>
#include <string_view>

#include "image/ImageResult.h"

namespace image {

// True when the line (without its line end and the blanks around it) is one
// complete S0 to S9 record (not S4) with a correct checksum: what makes a
// file S-record by its content.
bool IsSRecordLine(std::string_view line);

// True for the extensions (upper-cased, without the dot) a buffer is saved
// as S-record under: S19, S28, S37, SREC and MOT.
bool IsSRecordName(std::wstring_view upperExt);

// The length above which a file is refused before it is read: the densest
// legal records (up to 20 characters a data byte) plus slack.
std::uint64_t SRecordReadLimit(std::uint64_t roomLeft);

// roomLeft as for IntelHexStream: a data record ending beyond it gives
// TooLarge before anything is allocated for it.
ImageResult ParseSRecord(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft);

// S-record written piece by piece, pieces in address order: an S0 header, S3
// records of 32 data bytes, S7 end; CR LF line ends. Every piece but the last
// is a multiple of 32 bytes long, so that the records fall as for the whole
// buffer.
class SRecordWriter {
public:
    std::string_view Head() const { return "S0030000FC\r\n"; }
    // The records of bytes that lie at address base on, appended to out.
    void Append(const std::uint8_t* bytes, std::size_t length, std::uint64_t base, std::string& out);
    std::string_view Tail() const { return "S70500000000FA\r\n"; }
};

// Motorola S-record of bytes laid from address 0, appended to out.
void WriteSRecord(const std::uint8_t* bytes, std::size_t length, std::string& out);

}  // namespace image
