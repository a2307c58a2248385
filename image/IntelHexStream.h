// Intel HEX read in blocks of any size straight into the image, so that a load
// never holds the whole text: the same records, results and refusals as
// ParseIntelHex on the whole text (see IntelHex.h), in the same order.
//
// A record split across two blocks is kept aside until its line is complete;
// what is kept is bounded by the longest legal record (blanks after it are
// counted, not kept), so the memory of a parse is the image plus one record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ImageResult.h"

namespace image {

class IntelHexStream {
public:
    // roomLeft as for ParseIntelHex. sizeHint, when not 0, is reserved for
    // the image at its first record (never beyond roomLeft), so that an image
    // of about that size is not grown by copying: the caller may pass half
    // the file's length, the most data bytes its text can carry. Only address
    // space is taken for what the image does not use.
    explicit IntelHexStream(std::uint64_t roomLeft, std::uint64_t sizeHint = 0);

    // Takes the next block of the text. False once the outcome is settled (a
    // refusal, the end-of-file record, or a NUL): the rest of the file need
    // not be read.
    bool Feed(const std::uint8_t* block, std::size_t length);

    // The text has ended: the outcome, as ParseIntelHex gives it.
    ImageResult Finish();

private:
    enum class Mode { LineStart, SkipLine, Record, Done };

    void FeedText(const std::uint8_t* p, const std::uint8_t* end);
    // One record line: the characters after the colon, without its line end.
    void Record(const std::uint8_t* p, const std::uint8_t* end);
    void Refuse(ImageStatus status);

    std::uint64_t room_;
    std::uint64_t hint_;
    Mode mode_ = Mode::LineStart;
    ImageStatus status_ = ImageStatus::Ok;
    bool textEnded_ = false;  // a NUL was seen
    std::uint8_t head_[3] = {};  // the first bytes, until a byte-order mark can be told
    std::size_t headLength_ = 0;
    bool headDone_ = false;
    std::vector<std::uint8_t> pending_;  // a record line begun in an earlier block
    std::size_t pendingWant_ = 0;        // its digit count once known, 0 before
    std::uint64_t base_ = 0;
    std::uint64_t highest_ = 0;
    std::vector<std::uint8_t> image_;
};

}  // namespace image
