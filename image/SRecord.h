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
#include <vector>

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

namespace srec {

// The image as the records of one text build it, record by record: what the
// block reader below lays its records into.
class ImageBuilder {
public:
    // roomLeft and sizeHint as for SRecordStream.
    ImageBuilder(std::uint64_t roomLeft, std::uint64_t sizeHint);

    // One record: its characters from the S up to its line end (blanks may
    // follow the digits). False once the outcome is settled: the end record,
    // or a refusal.
    bool Record(const std::uint8_t* text, const std::uint8_t* end);

    // Refuses the whole text; the image is let go at once. Returns false, as
    // Record does once the outcome is settled.
    bool Refuse(ImageStatus status);

    // The text has ended: the outcome.
    ImageResult Finish();

private:
    // The image holds at least newEnd bytes, the new ones erased; false when
    // the memory cannot be had.
    bool Grow(std::uint64_t newEnd);

    std::uint64_t room_;
    std::uint64_t hint_;
    ImageStatus status_ = ImageStatus::Ok;
    std::uint64_t dataRecords_ = 0;
    std::uint64_t highest_ = 0;
    std::vector<std::uint8_t> image_;  // erased beyond highest_ up to its size
};

// The characters of a record of this type and count byte from its S on
// through its checksum; 0 for a type that is no record (not a digit, S4) or
// a count that is not two digits.
std::size_t RecordLength(const std::uint8_t* text);

}  // namespace srec

// S-record read in blocks of any size straight into the image, so that a load
// never holds the whole text: a record is parsed where it lies in its block,
// and only a record cut by a block boundary is kept aside until its line is
// complete. What is kept is bounded by the longest legal record (blanks after
// it are counted, not kept), so the memory of a parse is the image plus one
// record.
class SRecordStream {
public:
    // roomLeft: as for IntelHexStream, a data record ending beyond it gives
    // TooLarge before anything is allocated for it. sizeHint, when not 0, is
    // reserved for the image at its first data record (never beyond
    // roomLeft): the caller may pass half the file's length, the most data
    // bytes its text can carry.
    explicit SRecordStream(std::uint64_t roomLeft, std::uint64_t sizeHint = 0);

    // Takes the next block of the text. False once the outcome is settled (a
    // refusal, the end record, or a NUL): the rest of the file need not be
    // read.
    bool Feed(const std::uint8_t* block, std::size_t length);

    // The text has ended: the outcome.
    ImageResult Finish();

private:
    enum class Mode { LineStart, Record, Done };

    void FeedText(const std::uint8_t* p, const std::uint8_t* end);
    void Record(const std::uint8_t* p, const std::uint8_t* end);
    void Refuse(ImageStatus status);

    srec::ImageBuilder image_;
    Mode mode_ = Mode::LineStart;
    bool textEnded_ = false;     // a NUL was seen
    std::uint8_t head_[3] = {};  // the first bytes, until a byte-order mark can be told
    std::size_t headLength_ = 0;
    bool headDone_ = false;
    std::vector<std::uint8_t> pending_;  // a record begun in an earlier block, from its S
    std::size_t pendingWant_ = 0;        // its length once known, 0 before
};

// A text already in memory, read by SRecordStream as one block, its image
// reserved once at the size the record headers announce; roomLeft as for
// SRecordStream.
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
