#include "image/SRecord.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "image/HexDigits.h"
#include "image/HexPairs.h"

namespace image {
namespace {

using namespace hexdigits;

constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;

// Address bytes of each record type; 0 marks the reserved S4.
constexpr std::uint8_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

bool IsData(unsigned type) { return type >= 1 && type <= 3; }
bool IsCount(unsigned type) { return type == 5 || type == 6; }
bool IsEnd(unsigned type) { return type >= 7; }

// The end address the image will have, from the record headers alone, so that
// the image is allocated once at its final size. The real pass checks
// everything; this one only stops where it cannot go on.
std::uint64_t EstimateEnd(const std::uint8_t* p, const std::uint8_t* end) {
    std::uint64_t highest = 0;
    while (p < end) {
        if (IsLineEnd(*p) || IsBlank(*p)) {
            ++p;
            continue;
        }
        if (*p != 'S' || end - p < 4) break;
        const unsigned type = static_cast<unsigned>(p[1]) - '0';
        const unsigned count = Pair(p + 2);
        if (type > 9 || kAddressBytes[type] == 0 || (count & kBadPair)) break;
        const std::size_t digits = 2 * std::size_t{count};
        if (static_cast<std::size_t>(end - p - 4) < digits) break;
        if (IsEnd(type)) break;
        const unsigned addressBytes = kAddressBytes[type];
        if (IsData(type) && count > addressBytes) {
            std::uint64_t address = 0;
            for (unsigned i = 0; i < addressBytes; ++i) address = (address << 8) | (Pair(p + 4 + 2 * i) & 0xFF);
            highest = std::max(highest, address + (count - addressBytes - 1));
        }
        p += 4 + digits;
    }
    return highest;
}

}  // namespace

bool IsSRecordLine(std::string_view line) {
    if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return false;
    const unsigned addressBytes = kAddressBytes[line[1] - '0'];
    unsigned sum = 0;
    std::size_t pairs = 0;
    if (addressBytes == 0 || !LinePairs(line, 2, sum, pairs) || sum != 0xFF) return false;
    const unsigned count = Pair(reinterpret_cast<const std::uint8_t*>(line.data()) + 2);
    return pairs == count + 1u && count >= addressBytes + 1;
}

bool IsSRecordName(std::wstring_view upperExt) {
    return upperExt == L"S19" || upperExt == L"S28" || upperExt == L"S37" || upperExt == L"SREC" || upperExt == L"MOT";
}

std::uint64_t SRecordReadLimit(std::uint64_t roomLeft) { return roomLeft * 24 + kTextSlack; }

namespace srec {

std::size_t RecordLength(const std::uint8_t* p) {
    const unsigned type = static_cast<unsigned>(p[1]) - '0';
    if (type > 9 || kAddressBytes[type] == 0) return 0;
    const unsigned count = Pair(p + 2);
    if (count & kBadPair) return 0;
    return 4 + 2 * std::size_t{count};
}

ImageBuilder::ImageBuilder(std::uint64_t roomLeft, std::uint64_t sizeHint)
    : room_(UsableRoom(roomLeft)), hint_(std::min(sizeHint, room_)) {}

bool ImageBuilder::Record(const std::uint8_t* p, const std::uint8_t* end) {
    if (status_ != ImageStatus::Ok) return false;
    const std::size_t length = end - p >= 4 && p[0] == 'S' ? RecordLength(p) : 0;
    if (length == 0) return Refuse(ImageStatus::Malformed);
    const unsigned type = static_cast<unsigned>(p[1]) - '0';
    const unsigned count = static_cast<unsigned>(length - 4) / 2;
    const unsigned addressBytes = kAddressBytes[type];
    if (count < addressBytes + 1u || static_cast<std::size_t>(end - p) < length) return Refuse(ImageStatus::Malformed);
    std::uint8_t record[255];
    unsigned sum = count;
    const bool digits = DecodeHexPairs(p + 4, count, record, &sum);
    const std::uint8_t* q = p + length;
    while (q < end && IsBlank(*q)) ++q;
    // A line end inside the digits, a stray character or more digits than
    // the count announces all end up here.
    if (!digits || q != end || (sum & 0xFF) != 0xFF) return Refuse(ImageStatus::Malformed);

    std::uint64_t address = 0;
    for (unsigned i = 0; i < addressBytes; ++i) address = (address << 8) | record[i];
    const unsigned dataLength = count - addressBytes - 1;
    if (IsData(type)) {
        const std::uint64_t recordEnd = address + dataLength;
        if (recordEnd > kAddressSpace) return Refuse(ImageStatus::Malformed);
        if (recordEnd > room_) return Refuse(ImageStatus::TooLarge);
        if (recordEnd > image_.size() && !Grow(recordEnd)) return Refuse(ImageStatus::TooLarge);
        if (dataLength != 0) std::memcpy(image_.data() + address, record + addressBytes, dataLength);
        highest_ = std::max(highest_, recordEnd);
        ++dataRecords_;
    } else if (IsCount(type)) {
        if (dataLength != 0 || address != dataRecords_) return Refuse(ImageStatus::Malformed);
    } else if (IsEnd(type)) {
        if (dataLength != 0) return Refuse(ImageStatus::Malformed);
        return false;
    }
    // S0 carries a name for people, nothing for memory.
    return true;
}

bool ImageBuilder::Grow(std::uint64_t newEnd) {
    try {
        if (newEnd > image_.capacity()) {
            if (image_.capacity() == 0 && hint_ > newEnd) {
                try {
                    image_.reserve(static_cast<std::size_t>(hint_));
                } catch (const std::bad_alloc&) {
                    // Only a hint: the image grows as it needs to instead.
                }
            }
            // Geometric growth keeps a file of many small records linear,
            // but never reserves past what the buffer can take.
            if (newEnd > image_.capacity())
                image_.reserve(static_cast<std::size_t>(
                    std::max(newEnd, std::min<std::uint64_t>(2 * std::uint64_t{image_.capacity()}, room_))));
        }
        // The image is erased a step ahead of the records, within what is
        // reserved, so that a file of many short records costs one compare a
        // record rather than a resize; Finish cuts it back to the highest
        // record's end.
        constexpr std::uint64_t kStep = 64 * 1024;
        const std::uint64_t size = image_.size();
        image_.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(std::max(newEnd, size + kStep), image_.capacity())), 0xFF);
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

}  // namespace srec

SRecordStream::SRecordStream(std::uint64_t roomLeft, std::uint64_t sizeHint) : image_(roomLeft, sizeHint) {}

bool SRecordStream::Feed(const std::uint8_t* block, std::size_t length) {
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

ImageResult SRecordStream::Finish() {
    if (!headDone_) {
        headDone_ = true;
        FeedText(head_, head_ + headLength_);  // fewer than three bytes: no byte-order mark
    }
    if (mode_ == Mode::Record) Record(pending_.data(), pending_.data() + pending_.size());
    mode_ = Mode::Done;
    return image_.Finish();
}

void SRecordStream::FeedText(const std::uint8_t* p, const std::uint8_t* end) {
    while (p < end && mode_ != Mode::Done) {
        if (mode_ == Mode::LineStart) {
            const std::uint8_t c = *p;
            if (IsLineEnd(c) || IsBlank(c)) {
                ++p;
                continue;
            }
            if (c != 'S') return Refuse(ImageStatus::Malformed);
            if (end - p >= 4) {
                const std::size_t length = srec::RecordLength(p);
                // Not a record type, or a count that is no number: refused as
                // the whole text would be.
                if (length == 0) return Refuse(ImageStatus::Malformed);
                // The usual case: the whole record and what ends its line are
                // in this block, and it is parsed where it lies.
                if (static_cast<std::size_t>(end - p) > length) {
                    const std::uint8_t* q = p + length;
                    while (q < end && IsBlank(*q)) ++q;
                    if (q < end) {
                        // A stray character after the digits is taken in so
                        // that the record is refused as the whole text would be.
                        Record(p, IsLineEnd(*q) ? q : q + 1);
                        p = q;
                        continue;
                    }
                }
            }
            mode_ = Mode::Record;
            pending_.clear();
            pendingWant_ = 0;
            continue;
        }
        const std::uint8_t c = *p++;
        if (IsLineEnd(c)) {
            mode_ = Mode::LineStart;
            Record(pending_.data(), pending_.data() + pending_.size());
        } else if (pendingWant_ != 0 && pending_.size() >= pendingWant_) {
            // Past the record's digits only blanks may follow; they are not
            // kept, so a line of them costs no memory.
            if (!IsBlank(c)) return Refuse(ImageStatus::Malformed);
        } else {
            pending_.push_back(c);
            if (pendingWant_ == 0 && pending_.size() == 4) {
                pendingWant_ = srec::RecordLength(pending_.data());
                if (pendingWant_ == 0) return Refuse(ImageStatus::Malformed);
            }
        }
    }
}

void SRecordStream::Record(const std::uint8_t* p, const std::uint8_t* end) {
    if (!image_.Record(p, end)) mode_ = Mode::Done;
}

void SRecordStream::Refuse(ImageStatus status) {
    image_.Refuse(status);
    mode_ = Mode::Done;
}

ImageResult ParseSRecord(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft) {
    const TextRange range = RecordText(text, length);
    return TooLargeWithoutMemory([&] {
        const std::uint64_t estimate = EstimateEnd(range.begin, range.end);
        SRecordStream stream(roomLeft, estimate <= UsableRoom(roomLeft) ? estimate : 0);
        stream.Feed(text, text ? length : 0);
        return stream.Finish();
    });
}

void SRecordWriter::Append(const std::uint8_t* bytes, std::size_t length, std::uint64_t base, std::string& out) {
    constexpr std::size_t kRecordBytes = 32;
    // "S3" count(2) address(8) data checksum(2) CR LF a record.
    const std::size_t records = (length + kRecordBytes - 1) / kRecordBytes;
    const std::size_t start = out.size();
    out.resize(start + records * 16 + length * 2);
    char* w = out.data() + start;
    for (std::size_t offset = 0; offset < length; offset += kRecordBytes) {
        const std::size_t n = std::min(kRecordBytes, length - offset);
        const auto a = static_cast<std::uint32_t>(base + offset);
        const std::uint8_t head[5] = {static_cast<std::uint8_t>(n + 5), static_cast<std::uint8_t>(a >> 24),
                                      static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8),
                                      static_cast<std::uint8_t>(a)};
        *w++ = 'S';
        *w++ = '3';
        unsigned sum = PutData(w, head, 5);
        sum += PutData(w, bytes + offset, n);
        w = PutByte(w, static_cast<std::uint8_t>(~sum));
        w = PutLineEnd(w);
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
}

void WriteSRecord(const std::uint8_t* bytes, std::size_t length, std::string& out) {
    SRecordWriter writer;
    out += writer.Head();
    writer.Append(bytes, length, 0, out);
    out += writer.Tail();
}

}  // namespace image
