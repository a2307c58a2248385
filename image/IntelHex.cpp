#include "image/IntelHex.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "image/HexDigits.h"
#include "image/HexPairs.h"

namespace image {
namespace {

using namespace hexdigits;
using namespace ihex;

// The characters of a record after its colon: count, address, type, data, checksum.
std::size_t RecordDigits(std::uint8_t count) { return 2 * (std::size_t{count} + 5); }

std::uint64_t BaseOf(std::uint8_t type, const std::uint8_t* value) {
    const std::uint64_t v = (std::uint64_t{value[0]} << 8) | value[1];
    return type == kSegmentBase ? v << 4 : v << 16;
}

// The end address the image will have, read from the record headers only, so
// that the image of a text in memory can be allocated once at its final size
// instead of growing (growing doubles the peak memory on a large file).
// Damaged records are not looked at closely: the estimate only sizes a
// reservation, the real pass checks everything.
std::uint64_t EstimateEnd(const std::uint8_t* p, const std::uint8_t* end) {
    std::uint64_t base = 0, highest = 0;
    while (NextRecord(p, end)) {
        if (end - p < 10) break;
        std::uint8_t h[4];
        unsigned bad = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t hi = kDigit[p[2 * i]], lo = kDigit[p[1 + 2 * i]];
            bad |= hi | lo;
            h[i] = static_cast<std::uint8_t>((hi << 4) | lo);
        }
        if (bad & kBadDigit) break;
        const std::size_t digits = RecordDigits(h[0]);
        if (static_cast<std::size_t>(end - p) < digits) break;
        if (h[3] == kData) {
            highest = std::max(highest, base + ((std::uint64_t{h[1]} << 8) | h[2]) + h[0]);
        } else if (h[3] == kEndOfFile) {
            break;
        } else if ((h[3] == kSegmentBase || h[3] == kLinearBase) && h[0] == 2) {
            const std::uint8_t v[2] = {static_cast<std::uint8_t>((kDigit[p[8]] << 4) | kDigit[p[9]]),
                                       static_cast<std::uint8_t>((kDigit[p[10]] << 4) | kDigit[p[11]])};
            base = BaseOf(h[3], v);
        }
        p += digits;
    }
    return highest;
}

}  // namespace

bool IsIntelHexLine(std::string_view line) {
    if (line.size() < 11 || line[0] != ':') return false;
    unsigned sum = 0;
    std::size_t pairs = 0;
    if (!LinePairs(line, 1, sum, pairs) || sum != 0) return false;
    const auto* d = reinterpret_cast<const std::uint8_t*>(line.data()) + 1;
    return pairs == Pair(d) + 5u && Pair(d + 6) <= static_cast<unsigned>(kLinearStart);
}

bool IsIntelHexName(std::wstring_view upperExt) { return upperExt == L"HEX" || upperExt == L"IHX"; }

std::uint64_t IntelHexReadLimit(std::uint64_t roomLeft) { return roomLeft * 16 + kTextSlack; }

namespace ihex {

ImageBuilder::ImageBuilder(std::uint64_t roomLeft, std::uint64_t sizeHint)
    : room_(UsableRoom(roomLeft)), hint_(std::min(sizeHint, room_)) {}

bool ImageBuilder::Record(const std::uint8_t* p, const std::uint8_t* end) {
    if (status_ != ImageStatus::Ok) return false;
    if (end - p < 2) return Refuse(ImageStatus::Malformed);
    const std::uint8_t countHi = kDigit[p[0]], countLo = kDigit[p[1]];
    if ((countHi | countLo) & kBadDigit) return Refuse(ImageStatus::Malformed);
    const std::uint8_t count = static_cast<std::uint8_t>((countHi << 4) | countLo);
    if (static_cast<std::size_t>(end - p) < RecordDigits(count)) return Refuse(ImageStatus::Malformed);
    // count, address, type, data, checksum
    std::uint8_t record[kMaxRecord];
    unsigned sum = count;
    record[0] = count;
    const bool digits = DecodeHexPairs(p + 2, std::size_t{count} + 4, record + 1, &sum);
    p += RecordDigits(count);
    // A line end inside the digits, a stray character, or more digits than
    // the count announces all end up here.
    while (p < end && IsBlank(*p)) ++p;
    if (!digits || (p < end && !IsLineEnd(*p)) || (sum & 0xFF) != 0) return Refuse(ImageStatus::Malformed);

    const std::uint64_t address = (std::uint64_t{record[1]} << 8) | record[2];
    const std::uint8_t type = record[3];
    if (type == kData) {
        const std::uint64_t at = base_ + address, recordEnd = at + count;
        if (recordEnd > room_) return Refuse(ImageStatus::TooLarge);
        const std::size_t old = image_.size();
        if (recordEnd > old) {
            if (recordEnd > image_.capacity() && !Reserve(recordEnd)) return Refuse(ImageStatus::TooLarge);
            // The image is filled a step ahead of the records, within what is
            // reserved, so that a file of many short records costs one
            // compare a record rather than a resize; Finish cuts it back to
            // the highest record's end.
            constexpr std::uint64_t kStep = 64 * 1024;
            const std::uint64_t size = std::min<std::uint64_t>(std::max(recordEnd, old + kStep), image_.capacity());
            image_.resize(static_cast<std::size_t>(size));  // within the capacity; zero-filled
            if (old < kFirstWindow) {
                const std::size_t ffEnd = static_cast<std::size_t>(std::min(size, kFirstWindow));
                std::memset(image_.data() + old, 0xFF, ffEnd - old);
            }
        }
        highest_ = std::max(highest_, recordEnd);
        if (count != 0) std::memcpy(image_.data() + at, record + 4, count);
        return true;
    }
    if (type == kEndOfFile) return false;
    if (type == kSegmentBase || type == kLinearBase) {
        if (count != 2 || address != 0) return Refuse(ImageStatus::Malformed);
        base_ = BaseOf(type, record + 4);
    } else if (type > kLinearStart) {
        return Refuse(ImageStatus::Malformed);
    }
    // Start address records (3, 5) tell where the code runs, nothing about memory.
    return true;
}

bool ImageBuilder::Reserve(std::uint64_t newEnd) {
    if (image_.capacity() == 0 && hint_ > newEnd) {
        try {
            image_.reserve(static_cast<std::size_t>(hint_));
            return true;
        } catch (const std::bad_alloc&) {
            // Only a hint: the image grows as it needs to instead.
        }
    }
    try {
        // Geometric growth keeps a file of many small records linear, but
        // never reserves past what the buffer can take.
        image_.reserve(static_cast<std::size_t>(
            std::max(newEnd, std::min<std::uint64_t>(2 * std::uint64_t{image_.capacity()}, room_))));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

bool ImageBuilder::Refuse(ImageStatus status) {
    status_ = status;
    std::vector<std::uint8_t>().swap(image_);
    return false;
}

ImageResult ImageBuilder::Finish() {
    ImageResult result;
    result.status = status_;
    if (status_ == ImageStatus::Ok) {
        image_.resize(static_cast<std::size_t>(highest_));  // never grows here: highest <= size
        result.bytes.swap(image_);
    }
    return result;
}

bool NextRecord(const std::uint8_t*& p, const std::uint8_t* end) {
    while (p < end) {
        const std::uint8_t c = *p++;
        if (c == ':') return true;
        if (!IsLineEnd(c) && !IsBlank(c)) {
            while (p < end && !IsLineEnd(*p)) ++p;  // not a record line
        }
    }
    return false;
}

}  // namespace ihex

IntelHexStream::IntelHexStream(std::uint64_t roomLeft, std::uint64_t sizeHint) : image_(roomLeft, sizeHint) {}

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
    mode_ = Mode::Done;
    return image_.Finish();
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
                    pendingWant_ =
                        RecordDigits(static_cast<std::uint8_t>((kDigit[pending_[0]] << 4) | kDigit[pending_[1]]));
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
    if (!image_.Record(p, end)) mode_ = Mode::Done;
}

void IntelHexStream::Refuse(ImageStatus status) {
    image_.Refuse(status);
    mode_ = Mode::Done;
}

ImageResult ParseIntelHex(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft) {
    const TextRange range = RecordText(text, length);
    const std::uint64_t estimate = EstimateEnd(range.begin, range.end);
    IntelHexStream stream(roomLeft, estimate <= UsableRoom(roomLeft) ? estimate : 0);
    stream.Feed(text, text ? length : 0);
    return stream.Finish();
}

void IntelHexWriter::Append(const std::uint8_t* bytes, std::size_t length, std::uint64_t base, std::string& out) {
    constexpr std::size_t kRecordBytes = 32;
    // ":" count(2) address(4) type(2) data checksum(2) CR LF a record.
    const std::size_t records = (length + kRecordBytes - 1) / kRecordBytes;
    const std::size_t windows = length / 0x10000 + 2;
    const std::size_t start = out.size();
    out.resize(start + records * 13 + length * 2 + windows * 17);
    char* w = out.data() + start;
    for (std::size_t offset = 0; offset < length; offset += kRecordBytes) {
        const std::uint64_t address = base + offset;
        const std::uint64_t high = address >> 16;
        if (high != window_) {
            // Pieces and windows are multiples of the record length, so no
            // record crosses a window.
            window_ = high;
            const auto hi = static_cast<std::uint8_t>(high >> 8), lo = static_cast<std::uint8_t>(high);
            w = PutText(w, ":02000004");
            w = PutByte(w, hi);
            w = PutByte(w, lo);
            w = PutByte(w, static_cast<std::uint8_t>(0x100 - ((6 + hi + lo) & 0xFF)));
            w = PutLineEnd(w);
        }
        const std::size_t n = std::min(kRecordBytes, length - offset);
        const auto a1 = static_cast<std::uint8_t>(address >> 8), a0 = static_cast<std::uint8_t>(address);
        *w++ = ':';
        w = PutByte(w, static_cast<std::uint8_t>(n));
        w = PutByte(w, a1);
        w = PutByte(w, a0);
        w = PutByte(w, kData);
        const unsigned sum = static_cast<unsigned>(n) + a1 + a0 + PutData(w, bytes + offset, n);
        w = PutByte(w, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
        w = PutLineEnd(w);
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
}

void WriteIntelHex(const std::uint8_t* bytes, std::size_t length, std::string& out) {
    IntelHexWriter writer;
    writer.Append(bytes, length, 0, out);
    out += writer.Tail();
}

}  // namespace image
