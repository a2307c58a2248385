// Intel HEX: telling it by its first record, reading it block by block
// straight into an image, and writing it.
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
#include <string>
#include <string_view>
#include <vector>

#include "image/ImageResult.h"
#include "image/IntelHexRecord.h"

namespace image {

// True when the line (without its line end and the blanks around it) is one
// complete record with a correct checksum and a known type: what makes a file
// Intel HEX by its content.
bool IsIntelHexLine(std::string_view line);

// True for the extensions (upper-cased, without the dot) a buffer is saved
// as Intel HEX under: HEX and IHX.
bool IsIntelHexName(std::wstring_view upperExt);

// The length above which a file is refused before it is read: the densest
// legal records (one data byte each, 15 characters a byte) plus slack.
std::uint64_t IntelHexReadLimit(std::uint64_t roomLeft);

namespace ihex {

// The image as the records of one text build it, record by record: what the
// block reader below and the tests' whole-text reference share.
class ImageBuilder {
public:
    // roomLeft and sizeHint as for IntelHexStream.
    ImageBuilder(std::uint64_t roomLeft, std::uint64_t sizeHint);

    // One record line: the characters after its colon up to its line end
    // (blanks may follow the digits). False once the outcome is settled: the
    // end record, or a refusal.
    bool Record(const std::uint8_t* text, const std::uint8_t* end);

    // Refuses the whole text; the image is let go at once. Returns false, as
    // Record does once the outcome is settled.
    bool Refuse(ImageStatus status);

    // The text has ended: the outcome.
    ImageResult Finish();

private:
    // Room in the image for newEnd bytes at least; false when the memory
    // cannot be had.
    bool Reserve(std::uint64_t newEnd);

    std::uint64_t room_;
    std::uint64_t hint_;
    ImageStatus status_ = ImageStatus::Ok;
    std::uint64_t base_ = 0;
    std::uint64_t highest_ = 0;
    std::vector<std::uint8_t> image_;
};

// Moves p past blanks, line ends and lines that are not records, to just
// after the colon of the next record; false when the text ends first.
bool NextRecord(const std::uint8_t*& p, const std::uint8_t* end);

}  // namespace ihex

// Intel HEX read in blocks of any size straight into the image, so that a load
// never holds the whole text. A record split across two blocks is kept aside
// until its line is complete; what is kept is bounded by the longest legal
// record (blanks after it are counted, not kept), so the memory of a parse is
// the image plus one record.
class IntelHexStream {
public:
    // roomLeft is the number of bytes the target buffer can take from the
    // image's address 0 on (capacity minus insert offset). The parse stops
    // with TooLarge as soon as a data record would end beyond it, so a stray
    // high address costs no allocation; nothing is ever allocated beyond
    // roomLeft. sizeHint, when not 0, is reserved for the image at its first
    // record (never beyond roomLeft), so that an image of about that size is
    // not grown by copying: the caller may pass half the file's length, the
    // most data bytes its text can carry. Only address space is taken for
    // what the image does not use.
    explicit IntelHexStream(std::uint64_t roomLeft, std::uint64_t sizeHint = 0);

    // Takes the next block of the text. False once the outcome is settled (a
    // refusal, the end-of-file record, or a NUL): the rest of the file need
    // not be read.
    bool Feed(const std::uint8_t* block, std::size_t length);

    // The text has ended: the outcome.
    ImageResult Finish();

private:
    enum class Mode { LineStart, SkipLine, Record, Done };

    void FeedText(const std::uint8_t* p, const std::uint8_t* end);
    // One record line: the characters after the colon, without its line end.
    void Record(const std::uint8_t* p, const std::uint8_t* end);
    void Refuse(ImageStatus status);

    ihex::ImageBuilder image_;
    Mode mode_ = Mode::LineStart;
    bool textEnded_ = false;     // a NUL was seen
    std::uint8_t head_[3] = {};  // the first bytes, until a byte-order mark can be told
    std::size_t headLength_ = 0;
    bool headDone_ = false;
    std::vector<std::uint8_t> pending_;  // a record line begun in an earlier block
    std::size_t pendingWant_ = 0;        // its digit count once known, 0 before
};

// A text already in memory, read by IntelHexStream as one block, its image
// reserved once at the size the record headers announce; roomLeft as for
// IntelHexStream.
ImageResult ParseIntelHex(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft);

// Intel HEX written piece by piece, pieces in address order: 32 data bytes a
// record, an extended linear address record at every 64 KiB window after the
// first, the end record; CR LF line ends. Every piece but the last is a
// multiple of 32 bytes long, so that the records fall as for the whole buffer
// and none crosses a 64 KiB window.
class IntelHexWriter {
public:
    std::string_view Head() const { return {}; }
    // The records of bytes that lie at address base on, appended to out.
    void Append(const std::uint8_t* bytes, std::size_t length, std::uint64_t base, std::string& out);
    std::string_view Tail() const { return ":00000001FF\r\n"; }

private:
    std::uint64_t window_ = 0;  // the 64 KiB window in force
};

// Intel HEX of bytes laid from address 0, appended to out.
void WriteIntelHex(const std::uint8_t* bytes, std::size_t length, std::string& out);

}  // namespace image
