#include "FileFormat.h"

#include <algorithm>
#include <cstring>

#include "Elf.h"
#include "HexDigits.h"
#include "IntelHex.h"
#include "LoadState.h"
#include "SRecord.h"

namespace image {
namespace {

using namespace hexdigits;

constexpr std::size_t kRecordBytes = 32;

// The first non-blank line, without the blanks around it; empty when there is none.
std::string_view FirstLine(const std::uint8_t* bytes, std::size_t length) {
    std::size_t i = 0;
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    while (i < length && (IsLineEnd(bytes[i]) || IsBlank(bytes[i]))) ++i;
    std::size_t e = i;
    while (e < length && !IsLineEnd(bytes[e]) && bytes[e] != 0) ++e;
    while (e > i && IsBlank(bytes[e - 1])) --e;
    return std::string_view(reinterpret_cast<const char*>(bytes) + i, e - i);
}

// Digit pairs after the first `skip` characters, their sum modulo 256, false
// for an odd count or a non-digit.
bool PairSum(std::string_view line, std::size_t skip, unsigned& sum, std::size_t& pairs) {
    if ((line.size() - skip) % 2 != 0) return false;
    sum = 0;
    pairs = (line.size() - skip) / 2;
    for (std::size_t i = skip; i < line.size(); i += 2) {
        const unsigned v = Pair(reinterpret_cast<const std::uint8_t*>(line.data()) + i);
        if (v & kBadPair) return false;
        sum += v;
    }
    sum &= 0xFF;
    return true;
}

bool IsIntelHexRecord(std::string_view line) {
    if (line.size() < 11 || line[0] != ':') return false;
    unsigned sum = 0;
    std::size_t pairs = 0;
    if (!PairSum(line, 1, sum, pairs) || sum != 0) return false;
    const auto* d = reinterpret_cast<const std::uint8_t*>(line.data()) + 1;
    return pairs == Pair(d) + 5u && Pair(d + 6) <= 5;
}

bool IsSRecordLine(std::string_view line) {
    static constexpr std::uint8_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return false;
    const unsigned addressBytes = kAddressBytes[line[1] - '0'];
    unsigned sum = 0;
    std::size_t pairs = 0;
    if (addressBytes == 0 || !PairSum(line, 2, sum, pairs) || sum != 0xFF) return false;
    const unsigned count = Pair(reinterpret_cast<const std::uint8_t*>(line.data()) + 2);
    return pairs == count + 1u && count >= addressBytes + 1;
}

// The writers fill a string sized beforehand through a plain pointer: one
// table lookup and a two-byte copy per byte keeps a 16 MiB save to tens of
// milliseconds.
inline char* PutByte(char* w, std::uint8_t b) {
    std::memcpy(w, kPairText.text[b], 2);
    return w + 2;
}

inline char* PutLineEnd(char* w) {
    w[0] = '\r';
    w[1] = '\n';
    return w + 2;
}

inline char* PutText(char* w, std::string_view text) {
    std::memcpy(w, text.data(), text.size());
    return w + text.size();
}

// The record's data bytes as digit pairs; returns their sum.
inline unsigned PutData(char*& w, const std::uint8_t* data, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::memcpy(w + 2 * i, kPairText.text[data[i]], 2);
        sum += data[i];
    }
    w += 2 * n;
    return sum;
}

}  // namespace

FileFormat DetectFormat(const std::uint8_t* bytes, std::size_t length, bool hexExtension) {
    if (bytes == nullptr) length = 0;
    if (HasElfMagic(bytes, length)) return FileFormat::Elf;
    const std::string_view line = FirstLine(bytes, length);
    if (IsIntelHexRecord(line)) return FileFormat::IntelHex;
    if (IsSRecordLine(line)) return FileFormat::SRecord;
    return hexExtension ? FileFormat::IntelHex : FileFormat::Binary;
}

ImageResult ParseFormat(FileFormat format, const std::uint8_t* bytes, std::size_t length, std::uint64_t roomLeft) {
    switch (format) {
    case FileFormat::IntelHex: return ParseIntelHex(bytes, length, roomLeft);
    case FileFormat::SRecord: return ParseSRecord(bytes, length, roomLeft);
    case FileFormat::Elf: return ParseElf(bytes, length, roomLeft);
    case FileFormat::Binary: break;
    }
    ImageResult r;
    r.status = ImageStatus::Malformed;
    return r;
}

FileFormat OutputFormatFor(std::wstring_view path) {
    const std::wstring ext = UpperExtension(path);
    if (ext == L"HEX" || ext == L"IHX") return FileFormat::IntelHex;
    if (ext == L"S19" || ext == L"S28" || ext == L"S37" || ext == L"SREC" || ext == L"MOT") return FileFormat::SRecord;
    return FileFormat::Binary;
}

namespace {

constexpr std::string_view kHexEnd = ":00000001FF\r\n";
constexpr std::string_view kSRecordHeader = "S0030000FC\r\n";
constexpr std::string_view kSRecordEnd = "S70500000000FA\r\n";

// Data records of bytes that lie at address base on, appended to out, with an
// extended linear address record wherever the 64 KiB window changes (window
// is the one in force, kept between calls).
void AppendHexRecords(const std::uint8_t* bytes, std::size_t length, std::uint64_t base, std::uint64_t& window,
                      std::string& out) {
    // ":" count(2) address(4) type(2) data checksum(2) CR LF a record.
    const std::size_t records = (length + kRecordBytes - 1) / kRecordBytes;
    const std::size_t windows = length / 0x10000 + 2;
    const std::size_t start = out.size();
    out.resize(start + records * 13 + length * 2 + windows * 17);
    char* w = out.data() + start;
    for (std::size_t offset = 0; offset < length; offset += kRecordBytes) {
        const std::uint64_t address = base + offset;
        const std::uint64_t high = address >> 16;
        if (high != window) {
            // Blocks and windows are multiples of the record length, so no
            // record crosses a window.
            window = high;
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
        w = PutByte(w, 0);
        const unsigned sum = static_cast<unsigned>(n) + a1 + a0 + PutData(w, bytes + offset, n);
        w = PutByte(w, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
        w = PutLineEnd(w);
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
}

// S3 records of bytes that lie at address base on, appended to out.
void AppendSRecords(const std::uint8_t* bytes, std::size_t length, std::uint64_t base, std::string& out) {
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

}  // namespace

void WriteIntelHex(const std::uint8_t* bytes, std::size_t length, std::string& out) {
    std::uint64_t window = 0;
    AppendHexRecords(bytes, length, 0, window, out);
    out += kHexEnd;
}

void WriteSRecord(const std::uint8_t* bytes, std::size_t length, std::string& out) {
    out += kSRecordHeader;
    AppendSRecords(bytes, length, 0, out);
    out += kSRecordEnd;
}

void EncodeImage(FileFormat format, const std::uint8_t* bytes, std::size_t length, std::string& out) {
    out.clear();
    if (bytes == nullptr) length = 0;
    switch (format) {
    case FileFormat::IntelHex: WriteIntelHex(bytes, length, out); return;
    case FileFormat::SRecord: WriteSRecord(bytes, length, out); return;
    case FileFormat::Binary:
    case FileFormat::Elf: break;
    }
    out.assign(reinterpret_cast<const char*>(bytes), length);
}

bool EncodeImageInBlocks(FileFormat format, const std::uint8_t* bytes, std::size_t length, const TextSink& sink) {
    if (bytes == nullptr) length = 0;
    const bool text = format == FileFormat::IntelHex || format == FileFormat::SRecord;
    if (format == FileFormat::SRecord && !sink(kSRecordHeader.data(), kSRecordHeader.size())) return false;
    std::string block;
    std::uint64_t window = 0;
    for (std::size_t base = 0; base < length; base += kEncodeBlock) {
        const std::size_t n = std::min(kEncodeBlock, length - base);
        if (!text) {
            if (!sink(reinterpret_cast<const char*>(bytes + base), n)) return false;
            continue;
        }
        block.clear();
        if (format == FileFormat::IntelHex) AppendHexRecords(bytes + base, n, base, window, block);
        else AppendSRecords(bytes + base, n, base, block);
        if (!sink(block.data(), block.size())) return false;
    }
    if (format == FileFormat::IntelHex) return sink(kHexEnd.data(), kHexEnd.size());
    if (format == FileFormat::SRecord) return sink(kSRecordEnd.data(), kSRecordEnd.size());
    return true;
}

}  // namespace image
