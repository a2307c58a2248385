#include "IntelHexStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "HexDigits.h"
#include "IntelHexRecord.h"
#include "HexPairs.h"

namespace image {
namespace {

using namespace hexdigits;

using namespace ihex;

// The characters of a record after its colon: count, address, type, data, checksum.
std::size_t RecordDigits(std::uint8_t count) { return 2 * (std::size_t{count} + 5); }

}  // namespace

IntelHexStream::IntelHexStream(std::uint64_t roomLeft, std::uint64_t sizeHint)
    // A 32-bit process has no room for an image of gigabytes however large the
    // part claims to be; such an image is refused like any other that does not fit.
    : room_(std::min<std::uint64_t>(roomLeft, std::vector<std::uint8_t>().max_size())),
      hint_(std::min(sizeHint, room_)) {}

bool IntelHexStream::Feed(const std::uint8_t* block, std::size_t length) {
    if (mode_ == Mode::Done || textEnded_ || block == nullptr) return mode_ != Mode::Done && !textEnded_;
    if (const void* nul = length ? std::memchr(block, 0, length) : nullptr) {
        length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - block);
        textEnded_ = true;
    }
    if (!headDone_) {
        while (headLength_ < 3 && length > 0) {
            head_[headLength_++] = *block++;
            --length;
        }
        if (headLength_ < 3 && !textEnded_) return true;
        headDone_ = true;
        const bool mark = headLength_ == 3 && head_[0] == 0xEF && head_[1] == 0xBB && head_[2] == 0xBF;
        if (!mark) FeedText(head_, head_ + headLength_);
    }
    FeedText(block, block + length);
    return mode_ != Mode::Done && !textEnded_;
}

ImageResult IntelHexStream::Finish() {
    if (!headDone_) {
        headDone_ = true;
        FeedText(head_, head_ + headLength_);  // fewer than three bytes: no byte-order mark
    }
    if (mode_ == Mode::Record) Record(pending_.data(), pending_.data() + pending_.size());
    ImageResult result;
    result.status = status_;
    if (status_ == ImageStatus::Ok) {
        image_.resize(static_cast<std::size_t>(highest_));  // never grows here: highest <= size
        result.bytes.swap(image_);
    }
    mode_ = Mode::Done;
    return result;
}

void IntelHexStream::FeedText(const std::uint8_t* p, const std::uint8_t* end) {
    while (p < end && mode_ != Mode::Done) {
        switch (mode_) {
        case Mode::LineStart: {
            const std::uint8_t c = *p;
            if (c != ':') {
                if (IsLineEnd(c) || IsBlank(c)) {
                    ++p;
                } else {
                    mode_ = Mode::SkipLine;  // not a record line
                }
                break;
            }
            ++p;
            // The usual case: the whole record and what ends its line are in
            // this block, and it is parsed where it lies.
            if (end - p >= 2 && !((kDigit[p[0]] | kDigit[p[1]]) & kBadDigit)) {
                const std::size_t digits = RecordDigits(static_cast<std::uint8_t>((kDigit[p[0]] << 4) | kDigit[p[1]]));
                if (static_cast<std::size_t>(end - p) > digits) {
                    const std::uint8_t* q = p + digits;
                    while (q < end && IsBlank(*q)) ++q;
                    if (q < end) {
                        // A stray character after the digits is taken in so
                        // that the record is refused as the whole text would be.
                        Record(p, IsLineEnd(*q) ? q : q + 1);
                        p = q;
                        break;
                    }
                }
            }
            mode_ = Mode::Record;
            pending_.clear();
            pendingWant_ = 0;
            break;
        }
        case Mode::SkipLine:
            while (p < end && !IsLineEnd(*p)) ++p;
            if (p < end) mode_ = Mode::LineStart;
            break;
        case Mode::Record:
            while (p < end) {
                const std::uint8_t c = *p;
                if (IsLineEnd(c)) {
                    mode_ = Mode::LineStart;
                    Record(pending_.data(), pending_.data() + pending_.size());
                    break;
                }
                if (pendingWant_ == 0 && pending_.size() >= 2) {
                    if ((kDigit[pending_[0]] | kDigit[pending_[1]]) & kBadDigit) return Refuse(ImageStatus::Malformed);
                    pendingWant_ = RecordDigits(static_cast<std::uint8_t>((kDigit[pending_[0]] << 4) | kDigit[pending_[1]]));
                }
                ++p;
                if (pendingWant_ != 0 && pending_.size() >= pendingWant_) {
                    // Past the record's digits only blanks may follow; they
                    // are not kept, so a line of them costs no memory.
                    if (!IsBlank(c)) return Refuse(ImageStatus::Malformed);
                    continue;
                }
                pending_.push_back(c);
            }
            break;
        case Mode::Done: break;
        }
    }
}

void IntelHexStream::Record(const std::uint8_t* p, const std::uint8_t* end) {
    if (end - p < 2) return Refuse(ImageStatus::Malformed);
    const std::uint8_t countHi = kDigit[p[0]], countLo = kDigit[p[1]];
    if ((countHi | countLo) & kBadDigit) return Refuse(ImageStatus::Malformed);
    const std::uint8_t count = static_cast<std::uint8_t>((countHi << 4) | countLo);
    const std::size_t bytes = std::size_t{count} + 5;
    if (static_cast<std::size_t>(end - p) < 2 * bytes) return Refuse(ImageStatus::Malformed);
    std::uint8_t record[kMaxRecord];
    unsigned sum = count;
    record[0] = count;
    const bool digits = DecodeHexPairs(p + 2, bytes - 1, record + 1, &sum);
    p += 2 * bytes;
    while (p < end && IsBlank(*p)) ++p;
    if (!digits || (p < end && !IsLineEnd(*p)) || (sum & 0xFF) != 0) return Refuse(ImageStatus::Malformed);

    const std::uint64_t address = (std::uint64_t{record[1]} << 8) | record[2];
    const std::uint8_t type = record[3];
    if (type == kData) {
        const std::uint64_t recordEnd = base_ + address + count;
        if (recordEnd > room_) return Refuse(ImageStatus::TooLarge);
        const std::size_t old = image_.size();
        if (recordEnd > old) {
            if (image_.capacity() == 0 && hint_ > recordEnd) {
                try {
                    image_.reserve(static_cast<std::size_t>(hint_));
                } catch (const std::bad_alloc&) {
                    // Only a hint: the image grows as it needs to instead.
                }
            }
            try {
                if (recordEnd > image_.capacity()) {
                    // Geometric growth keeps a file of many small records
                    // linear, but never reserves past what the buffer can take.
                    image_.reserve(static_cast<std::size_t>(std::max(
                        recordEnd, std::min<std::uint64_t>(2 * std::uint64_t{image_.capacity()}, room_))));
                }
                image_.resize(static_cast<std::size_t>(recordEnd));  // zero-filled
            } catch (const std::bad_alloc&) {
                return Refuse(ImageStatus::TooLarge);
            } catch (const std::length_error&) {
                return Refuse(ImageStatus::TooLarge);
            }
            if (old < kFirstWindow) {
                const std::size_t ffEnd = static_cast<std::size_t>(std::min(recordEnd, kFirstWindow));
                std::memset(image_.data() + old, 0xFF, ffEnd - old);
            }
        }
        highest_ = std::max(highest_, recordEnd);
        if (count != 0) std::memcpy(image_.data() + (base_ + address), record + 4, count);
    } else if (type == kEndOfFile) {
        mode_ = Mode::Done;
    } else if (type == kSegmentBase || type == kLinearBase) {
        if (count != 2 || address != 0) return Refuse(ImageStatus::Malformed);
        const std::uint64_t v = (std::uint64_t{record[4]} << 8) | record[5];
        base_ = type == kSegmentBase ? v << 4 : v << 16;
    } else if (type > kLinearStart) {
        return Refuse(ImageStatus::Malformed);
    }
}

void IntelHexStream::Refuse(ImageStatus status) {
    status_ = status;
    mode_ = Mode::Done;
    std::vector<std::uint8_t>().swap(image_);
}

}  // namespace image
