#include "image/SRecord.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/HexDigits.h"

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

ImageResult ParseSRecord(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft) {
    const TextRange range = RecordText(text, length);
    const std::uint64_t room = UsableRoom(roomLeft);
    return TooLargeWithoutMemory([&] {
        const std::uint8_t* p = range.begin;
        const std::uint8_t* const end = range.end;
        ImageResult result;
        std::vector<std::uint8_t>& image = result.bytes;
        const std::uint64_t estimate = EstimateEnd(p, end);
        if (estimate <= room) image.reserve(static_cast<std::size_t>(estimate));

        std::uint8_t record[256];
        std::uint64_t dataRecords = 0;
        while (p < end) {
            if (IsLineEnd(*p) || IsBlank(*p)) {
                ++p;
                continue;
            }
            if (*p != 'S' || end - p < 4) return Refused(ImageStatus::Malformed);
            const unsigned type = static_cast<unsigned>(p[1]) - '0';
            if (type > 9 || kAddressBytes[type] == 0) return Refused(ImageStatus::Malformed);
            const unsigned count = Pair(p + 2);
            if (count & kBadPair) return Refused(ImageStatus::Malformed);
            const unsigned addressBytes = kAddressBytes[type];
            if (count < addressBytes + 1u) return Refused(ImageStatus::Malformed);
            const std::uint8_t* d = p + 4;
            if (static_cast<std::size_t>(end - d) < 2 * std::size_t{count}) return Refused(ImageStatus::Malformed);
            unsigned bad = 0;
            unsigned sum = count;
            for (unsigned i = 0; i < count; ++i, d += 2) {
                const unsigned v = Pair(d);
                bad |= v;
                record[i] = static_cast<std::uint8_t>(v);
                sum += v;
            }
            p = d;
            while (p < end && IsBlank(*p)) ++p;
            // A line end inside the digits, a stray character or more digits
            // than the count announces all end up here.
            if ((bad & kBadPair) || (p < end && !IsLineEnd(*p)) || (sum & 0xFF) != 0xFF)
                return Refused(ImageStatus::Malformed);

            std::uint64_t address = 0;
            for (unsigned i = 0; i < addressBytes; ++i) address = (address << 8) | record[i];
            const unsigned dataLength = count - addressBytes - 1;
            if (IsData(type)) {
                const std::uint64_t recordEnd = address + dataLength;
                if (recordEnd > kAddressSpace) return Refused(ImageStatus::Malformed);
                if (recordEnd > room) return Refused(ImageStatus::TooLarge);
                if (recordEnd > image.size()) image.resize(static_cast<std::size_t>(recordEnd), 0xFF);
                if (dataLength != 0) std::memcpy(image.data() + address, record + addressBytes, dataLength);
                ++dataRecords;
            } else if (IsCount(type)) {
                if (dataLength != 0 || address != dataRecords) return Refused(ImageStatus::Malformed);
            } else if (IsEnd(type)) {
                if (dataLength != 0) return Refused(ImageStatus::Malformed);
                break;
            }
            // S0 carries a name for people, nothing for memory.
        }
        return result;
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
