// What a firmware file is, told by its content, and the formats a buffer is
// written in: the dispatch over the format modules (IntelHex.h, SRecord.h,
// Elf.h, Binary.h), which hold each format's own rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "image/ImageResult.h"

namespace image {

enum class FileFormat { Binary, IntelHex, SRecord, Elf };

// ELF when the bytes begin with the ELF identification; Intel HEX when the
// first non-blank line is a well-formed record with a correct checksum;
// Motorola S-record the same way for an S0 to S9 record; anything else is raw
// binary, except that a file named .hex stays Intel HEX (and so is refused as
// a damaged HEX file rather than programmed as its text). A firmware binary
// cannot pass these tests by chance: its first bytes would have to be a
// complete, checksummed record followed by a line end.
FileFormat DetectFormat(const std::uint8_t* bytes, std::size_t length, bool hexExtension);

// The reader of a text or ELF format (not Binary); roomLeft as for
// IntelHexStream.
ImageResult ParseFormat(FileFormat format, const std::uint8_t* bytes, std::size_t length, std::uint64_t roomLeft);

// The format a buffer is saved in, from the output's extension: .hex and .ihx
// Intel HEX; .s19, .s28, .s37, .srec and .mot S-record; anything else binary.
FileFormat OutputFormatFor(std::wstring_view path);

// The file content of a buffer in the given format (Elf is not written and
// gives the binary form). Binary is the bytes themselves.
void EncodeImage(FileFormat format, const std::uint8_t* bytes, std::size_t length, std::string& out);

// Receives an encoded file piece by piece; false stops the encoding.
using TextSink = std::function<bool(const char* text, std::size_t length)>;

// Input bytes encoded a piece: a multiple of 64 KiB, so that HEX windows
// and records never straddle two pieces.
constexpr std::size_t kEncodeBlock = 256 * 1024;

// The same file as EncodeImage, handed to the sink in pieces, so that a large
// buffer never needs its whole text in memory at once. False when the sink
// stopped it.
bool EncodeImageInBlocks(FileFormat format, const std::uint8_t* bytes, std::size_t length, const TextSink& sink);

}  // namespace image
