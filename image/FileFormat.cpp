#include "image/FileFormat.h"

#include <algorithm>

#include "image/Binary.h"
#include "image/Elf.h"
#include "image/HexDigits.h"
#include "image/IntelHex.h"
#include "image/LoadState.h"
#include "image/SRecord.h"

namespace image {
namespace {

using namespace hexdigits;

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

// The text of one piece: a text format's records, written into scratch.
template <class Writer>
std::string_view Encoded(Writer& writer, const std::uint8_t* bytes, std::size_t length, std::uint64_t base,
                         std::string& scratch) {
    scratch.clear();
    writer.Append(bytes, length, base, scratch);
    return scratch;
}

std::string_view Encoded(BinaryWriter& writer, const std::uint8_t* bytes, std::size_t length, std::uint64_t,
                         std::string&) {
    return writer.Piece(bytes, length);
}

template <class Writer>
bool EncodeInBlocks(const std::uint8_t* bytes, std::size_t length, const TextSink& sink) {
    Writer writer;
    const auto send = [&](std::string_view text) { return text.empty() || sink(text.data(), text.size()); };
    if (!send(writer.Head())) return false;
    std::string scratch;
    for (std::size_t base = 0; base < length; base += kEncodeBlock) {
        const std::size_t n = std::min(kEncodeBlock, length - base);
        const std::string_view piece = Encoded(writer, bytes + base, n, base, scratch);
        if (!sink(piece.data(), piece.size())) return false;
    }
    return send(writer.Tail());
}

}  // namespace

FileFormat DetectFormat(const std::uint8_t* bytes, std::size_t length, bool hexExtension) {
    if (bytes == nullptr) length = 0;
    if (HasElfMagic(bytes, length)) return FileFormat::Elf;
    const std::string_view line = FirstLine(bytes, length);
    if (IsIntelHexLine(line)) return FileFormat::IntelHex;
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
    return Refused(ImageStatus::Malformed);
}

FileFormat OutputFormatFor(std::wstring_view path) {
    const std::wstring ext = UpperExtension(path);
    if (IsIntelHexName(ext)) return FileFormat::IntelHex;
    if (IsSRecordName(ext)) return FileFormat::SRecord;
    return FileFormat::Binary;
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
    switch (format) {
    case FileFormat::IntelHex: return EncodeInBlocks<IntelHexWriter>(bytes, length, sink);
    case FileFormat::SRecord: return EncodeInBlocks<SRecordWriter>(bytes, length, sink);
    case FileFormat::Binary:
    case FileFormat::Elf: break;
    }
    return EncodeInBlocks<BinaryWriter>(bytes, length, sink);
}

}  // namespace image
