#include "image/Elf.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace image {
namespace {

constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;
constexpr std::uint32_t kPtLoad = 1;
// e_phnum's escape value: the real count is kept in the first section header.
// Firmware never has that many segments, so such a file is refused.
constexpr std::uint32_t kPnXnum = 0xFFFF;

// Reads fields of a checked range in the file's byte order.
class Fields {
public:
    Fields(const std::uint8_t* at, bool bigEndian, bool wide) : at_(at), big_(bigEndian), wide_(wide) {}

    std::uint64_t U(std::size_t offset, unsigned bytes) const {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < bytes; ++i) {
            const std::uint8_t b = at_[offset + (big_ ? i : bytes - 1 - i)];
            v = (v << 8) | b;
        }
        return v;
    }
    // A field that is 4 bytes in 32-bit files and 8 in 64-bit ones.
    std::uint64_t Word(std::size_t offset32, std::size_t offset64) const {
        return wide_ ? U(offset64, 8) : U(offset32, 4);
    }

private:
    const std::uint8_t* at_;
    bool big_;
    bool wide_;
};

struct Segment {
    std::uint64_t address;
    std::uint64_t offset;
    std::uint64_t size;
};

// off + size lies inside a file of length bytes, computed without overflow.
bool Inside(std::uint64_t off, std::uint64_t size, std::uint64_t length) {
    return off <= length && size <= length - off;
}

}  // namespace

bool HasElfMagic(const std::uint8_t* bytes, std::size_t length) {
    return bytes != nullptr && length >= 4 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F';
}

std::uint64_t ElfReadLimit(std::uint64_t roomLeft) { return roomLeft * 16 + (64u << 20); }

ImageResult ParseElf(const std::uint8_t* bytes, std::size_t length, std::uint64_t roomLeft) {
    if (!HasElfMagic(bytes, length) || length < 16) return Refused(ImageStatus::Malformed);
    const std::uint8_t elfClass = bytes[4], elfData = bytes[5];
    if ((elfClass != 1 && elfClass != 2) || (elfData != 1 && elfData != 2)) return Refused(ImageStatus::Malformed);
    const bool wide = elfClass == 2, big = elfData == 2;
    const std::size_t headerSize = wide ? 64 : 52;
    const std::size_t phdrSize = wide ? 56 : 32;
    if (length < headerSize) return Refused(ImageStatus::Malformed);

    const Fields header(bytes, big, wide);
    const std::uint64_t phoff = header.Word(28, 32);
    const std::uint64_t phentsize = header.U(wide ? 54 : 42, 2);
    const std::uint64_t phnum = header.U(wide ? 56 : 44, 2);
    if (phnum == 0 || phnum == kPnXnum || phentsize < phdrSize) return Refused(ImageStatus::Malformed);
    // Both factors are below 2^16, so the product cannot overflow.
    if (!Inside(phoff, phnum * phentsize, length)) return Refused(ImageStatus::Malformed);

    return TooLargeWithoutMemory([&] {
        std::vector<Segment> segments;
        for (std::uint64_t i = 0; i < phnum; ++i) {
            const Fields ph(bytes + static_cast<std::size_t>(phoff + i * phentsize), big, wide);
            if (ph.U(0, 4) != kPtLoad) continue;
            const Segment s{ph.Word(12, 24), ph.Word(4, 8), ph.Word(16, 32)};
            if (s.size == 0) continue;
            if (!Inside(s.offset, s.size, length) || !Inside(s.address, s.size, kAddressSpace))
                return Refused(ImageStatus::Malformed);
            segments.push_back(s);
        }
        if (segments.empty()) return Refused(ImageStatus::Malformed);
        std::sort(segments.begin(), segments.end(),
                  [](const Segment& a, const Segment& b) { return a.address < b.address; });
        std::uint64_t imageEnd = 0;
        for (const Segment& s : segments) {
            // Sorted by address, a segment overlaps exactly when it starts
            // below the end of everything before it.
            if (s.address < imageEnd) return Refused(ImageStatus::Malformed);
            imageEnd = s.address + s.size;
        }
        if (imageEnd > UsableRoom(roomLeft)) return Refused(ImageStatus::TooLarge);

        ImageResult result;
        result.bytes.assign(static_cast<std::size_t>(imageEnd), 0xFF);
        for (const Segment& s : segments)
            std::memcpy(result.bytes.data() + s.address, bytes + s.offset, static_cast<std::size_t>(s.size));
        return result;
    });
}

}  // namespace image
