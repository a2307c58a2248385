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

namespace {

// The program header table is read this much at a time, so that a hostile
// count costs no large allocation.
constexpr std::size_t kTableChunk = 64 * 1024;

// Reads exactly count bytes at offset: Ok, Short (the file ends first) or
// Failed.
enum class Got { Ok, Short, Failed };

Got ReadExactly(ElfFile& file, std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    std::size_t got = 0;
    if (!file.ReadAt(offset, into, count, got)) return Got::Failed;
    return got == count ? Got::Ok : Got::Short;
}

class MemoryElf : public ElfFile {
public:
    MemoryElf(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}
    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count, std::size_t& got) override {
        got = offset < length_ ? static_cast<std::size_t>(std::min<std::uint64_t>(count, length_ - offset)) : 0;
        if (got != 0) std::memcpy(into, bytes_ + offset, got);
        return true;
    }

private:
    const std::uint8_t* bytes_;
    std::size_t length_;
};

}  // namespace

ImageResult ParseElf(ElfFile& file, std::uint64_t length, std::uint64_t roomLeft, bool* readFailed) {
    *readFailed = false;
    // A read that fails says nothing of the file; one that comes short means
    // the file is shorter than it claimed: damaged as a part past its end.
    const auto read = [&](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
        const Got got = ReadExactly(file, offset, into, count);
        if (got == Got::Failed) *readFailed = true;
        return got == Got::Ok;
    };
    std::uint8_t head[64];
    if (length < 16 || !read(0, head, static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof head))) ||
        !HasElfMagic(head, 4))
        return Refused(ImageStatus::Malformed);
    const std::uint8_t elfClass = head[4], elfData = head[5];
    if ((elfClass != 1 && elfClass != 2) || (elfData != 1 && elfData != 2)) return Refused(ImageStatus::Malformed);
    const bool wide = elfClass == 2, big = elfData == 2;
    const std::size_t headerSize = wide ? 64 : 52;
    const std::size_t phdrSize = wide ? 56 : 32;
    if (length < headerSize) return Refused(ImageStatus::Malformed);

    const Fields header(head, big, wide);
    const std::uint64_t phoff = header.Word(28, 32);
    const std::uint64_t phentsize = header.U(wide ? 54 : 42, 2);
    const std::uint64_t phnum = header.U(wide ? 56 : 44, 2);
    if (phnum == 0 || phnum == kPnXnum || phentsize < phdrSize) return Refused(ImageStatus::Malformed);
    // Both factors are below 2^16, so the product cannot overflow.
    if (!Inside(phoff, phnum * phentsize, length)) return Refused(ImageStatus::Malformed);

    return TooLargeWithoutMemory([&] {
        std::vector<Segment> segments;
        // Entries of the usual size are read a chunk of them at a time; of a
        // larger one only its program header is read.
        const bool packed = phentsize <= 256;
        const std::size_t perChunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(packed ? kTableChunk / phentsize : 1, phnum));
        std::vector<std::uint8_t> table(packed ? perChunk * static_cast<std::size_t>(phentsize) : phdrSize);
        for (std::uint64_t first = 0; first < phnum; first += perChunk) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(perChunk, phnum - first));
            const std::size_t bytes = packed ? n * static_cast<std::size_t>(phentsize) : phdrSize;
            if (!read(phoff + first * phentsize, table.data(), bytes)) return Refused(ImageStatus::Malformed);
            for (std::size_t i = 0; i < n; ++i) {
                const Fields ph(table.data() + i * static_cast<std::size_t>(phentsize), big, wide);
                if (ph.U(0, 4) != kPtLoad) continue;
                const Segment s{ph.Word(12, 24), ph.Word(4, 8), ph.Word(16, 32)};
                if (s.size == 0) continue;
                if (!Inside(s.offset, s.size, length) || !Inside(s.address, s.size, kAddressSpace))
                    return Refused(ImageStatus::Malformed);
                segments.push_back(s);
            }
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
            if (!read(s.offset, result.bytes.data() + s.address, static_cast<std::size_t>(s.size)))
                return Refused(ImageStatus::Malformed);
        return result;
    });
}

ImageResult ParseElf(const std::uint8_t* bytes, std::size_t length, std::uint64_t roomLeft) {
    if (bytes == nullptr) length = 0;
    MemoryElf file(bytes, length);
    bool readFailed = false;
    return ParseElf(file, length, roomLeft, &readFailed);
}

}  // namespace image
