#include "IntelHex.h"

#include "HexPairs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <stdexcept>

#include "HexDigits.h"
#include "IntelHexRecord.h"

namespace image {
namespace {

using namespace hexdigits;

using namespace ihex;

std::uint64_t BaseOf(std::uint8_t type, const std::uint8_t* value) {
    const std::uint64_t v = (std::uint64_t{value[0]} << 8) | value[1];
    return type == kSegmentBase ? v << 4 : v << 16;
}

// The end address the image will have, read from the record headers only, so
// that the image can be allocated once at its final size instead of growing
// (growing doubles the peak memory on a large file). Damaged records are not
// looked at closely: the estimate only sizes a reservation, the real pass
// checks everything.
std::uint64_t EstimateEnd(const std::uint8_t* p, const std::uint8_t* end) {
    std::uint64_t base = 0, highest = 0;
    while (p < end) {
        if (*p != ':') {
            if (IsLineEnd(*p) || IsBlank(*p)) {
                ++p;
            } else {
                while (p < end && !IsLineEnd(*p)) ++p;
            }
            continue;
        }
        if (end - p < 11) break;
        std::uint8_t h[4];
        unsigned bad = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t hi = kDigit[p[1 + 2 * i]], lo = kDigit[p[2 + 2 * i]];
            bad |= hi | lo;
            h[i] = static_cast<std::uint8_t>((hi << 4) | lo);
        }
        if (bad & kBadDigit) break;
        const std::size_t digits = 10 + 2 * std::size_t{h[0]};
        if (static_cast<std::size_t>(end - p - 1) < digits) break;
        if (h[3] == kData) {
            highest = std::max(highest, base + ((std::uint64_t{h[1]} << 8) | h[2]) + h[0]);
        } else if (h[3] == kEndOfFile) {
            break;
        } else if ((h[3] == kSegmentBase || h[3] == kLinearBase) && h[0] == 2) {
            const std::uint8_t v[2] = {
                static_cast<std::uint8_t>((kDigit[p[9]] << 4) | kDigit[p[10]]),
                static_cast<std::uint8_t>((kDigit[p[11]] << 4) | kDigit[p[12]])};
            base = BaseOf(h[3], v);
        }
        p += 1 + digits;
    }
    return highest;
}

// Extends the image to newEnd, filling as unwritten memory reads.
void GrowTo(std::vector<std::uint8_t>& image, std::uint64_t newEnd, std::uint64_t roomLeft) {
    const std::size_t old = image.size();
    if (newEnd <= old) return;
    if (newEnd > image.capacity()) {
        // Geometric growth keeps a file of many small records linear, but
        // never reserves past what the buffer can take.
        image.reserve(static_cast<std::size_t>(
            std::max(newEnd, std::min<std::uint64_t>(2 * std::uint64_t{image.capacity()}, roomLeft))));
    }
    image.resize(static_cast<std::size_t>(newEnd));  // zero-filled
    if (old < kFirstWindow) {
        const std::size_t ffEnd = static_cast<std::size_t>(std::min(newEnd, kFirstWindow));
        std::memset(image.data() + old, 0xFF, ffEnd - old);
    }
}

ImageResult Refuse(ImageStatus status) {
    ImageResult r;
    r.status = status;
    return r;
}

}  // namespace

ImageResult ParseIntelHex(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft) {
    const TextRange range = RecordText(text, length);
    const std::uint8_t* p = range.begin;
    const std::uint8_t* const end = range.end;

    // A 32-bit process has no room for an image of gigabytes however large the
    // part claims to be; such an image is refused like any other that does not fit.
    const std::uint64_t room = std::min<std::uint64_t>(roomLeft, std::vector<std::uint8_t>().max_size());

    ImageResult result;
    std::vector<std::uint8_t>& image = result.bytes;
    try {
        // Lay out the whole estimated image, filled, in one go; the records
        // then only copy their bytes in.
        const std::uint64_t estimate = EstimateEnd(p, end);
        if (estimate <= room) {
            image.reserve(static_cast<std::size_t>(estimate));
            GrowTo(image, estimate, room);
        }
        std::uint64_t highest = 0;

        std::uint8_t record[kMaxRecord];
        std::uint64_t base = 0;
        while (p < end) {
            const std::uint8_t c = *p;
            if (c != ':') {
                if (IsLineEnd(c) || IsBlank(c)) {
                    ++p;
                } else {
                    while (p < end && !IsLineEnd(*p)) ++p;  // not a record line
                }
                continue;
            }
            ++p;
            if (end - p < 2) return Refuse(ImageStatus::Malformed);
            const std::uint8_t countHi = kDigit[p[0]], countLo = kDigit[p[1]];
            if ((countHi | countLo) & kBadDigit) return Refuse(ImageStatus::Malformed);
            const std::uint8_t count = static_cast<std::uint8_t>((countHi << 4) | countLo);
            // count, address, type, data, checksum
            const std::size_t bytes = std::size_t{count} + 5;
            if (static_cast<std::size_t>(end - p) < 2 * bytes) return Refuse(ImageStatus::Malformed);
            unsigned sum = count;
            record[0] = count;
            const bool digits = DecodeHexPairs(p + 2, bytes - 1, record + 1, &sum);
            p += 2 * bytes;
            // A line end inside the digits, a stray character, or more digits
            // than the count announces all end up here.
            while (p < end && IsBlank(*p)) ++p;
            if (!digits || (p < end && !IsLineEnd(*p)) || (sum & 0xFF) != 0) return Refuse(ImageStatus::Malformed);

            const std::uint64_t address = (std::uint64_t{record[1]} << 8) | record[2];
            const std::uint8_t type = record[3];
            if (type == kData) {
                const std::uint64_t recordEnd = base + address + count;
                if (recordEnd > room) return Refuse(ImageStatus::TooLarge);
                if (recordEnd > image.size()) GrowTo(image, recordEnd, room);
                highest = std::max(highest, recordEnd);
                if (count != 0) std::memcpy(image.data() + (base + address), record + 4, count);
            } else if (type == kEndOfFile) {
                break;
            } else if (type == kSegmentBase || type == kLinearBase) {
                if (count != 2 || address != 0) return Refuse(ImageStatus::Malformed);
                base = BaseOf(type, record + 4);
            } else if (type > kLinearStart) {
                return Refuse(ImageStatus::Malformed);
            }
            // Start address records (3, 5) tell where the code runs, nothing about memory.
        }
        image.resize(static_cast<std::size_t>(highest));  // never grows here: highest <= size
    } catch (const std::bad_alloc&) {
        return Refuse(ImageStatus::TooLarge);
    } catch (const std::length_error&) {
        return Refuse(ImageStatus::TooLarge);
    }
    return result;
}

}  // namespace image
