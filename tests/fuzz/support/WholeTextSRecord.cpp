#include "tests/fuzz/support/WholeTextSRecord.h"

#include <cstring>
#include <vector>

#include "image/HexDigits.h"

namespace hexmodel {
namespace {

using namespace image::hexdigits;
using image::ImageResult;
using image::ImageStatus;
using image::Refused;

constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;

// Address bytes of each record type; 0 marks the reserved S4.
constexpr std::uint8_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

bool IsData(unsigned type) { return type >= 1 && type <= 3; }
bool IsCount(unsigned type) { return type == 5 || type == 6; }
bool IsEnd(unsigned type) { return type >= 7; }

}  // namespace

ImageResult ParseWholeSRecord(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft) {
    const TextRange range = RecordText(text, length);
    const std::uint64_t room = image::UsableRoom(roomLeft);
    return image::TooLargeWithoutMemory([&] {
        const std::uint8_t* p = range.begin;
        const std::uint8_t* const end = range.end;
        ImageResult result;
        std::vector<std::uint8_t>& image = result.bytes;

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

}  // namespace hexmodel
