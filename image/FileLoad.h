// Reading a firmware file for a code buffer: refuse by size before reading,
// read, tell the format, parse, compose. The window's loader and the console
// programmer both load through here, so a file lands the same way in both.
// Window-free: the file itself is reached through FileOpener, which the
// Windows side implements (files/FirmwareFile.h) and tests replace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/FileFormat.h"
#include "image/ImageCompose.h"
#include "image/LoadState.h"

namespace image {

// An open file, read from its start on.
class FileSource {
public:
    virtual ~FileSource() = default;
    // The file's length in bytes; false when the system cannot tell it.
    virtual bool Length(std::uint64_t& length) = 0;
    // Reads up to count bytes; got is 0 at the end of the file. False on a
    // read error.
    virtual bool Read(std::uint8_t* into, std::size_t count, std::size_t& got) = 0;
    // Moves to offset bytes from the start, where the next Read begins (an
    // ELF file is read by its segments, not whole). False on a failure.
    virtual bool Seek(std::uint64_t offset) = 0;
    // The system's code of the last failure, 0 when it has none.
    virtual std::uint32_t LastError() const { return 0; }
};

class FileOpener {
public:
    virtual ~FileOpener() = default;
    // Opens the file for reading without sharing it, so that a file another
    // program still writes is refused rather than read half. Null when it
    // cannot be opened; error then holds the system's code.
    virtual std::unique_ptr<FileSource> Open(std::wstring_view path, std::uint32_t& error) = 0;
};

enum class FileLoadStatus { Ok, OpenError, ReadError, TooLarge, HexError, FormatError };

struct FileLoadOutcome {
    FileLoadStatus status = FileLoadStatus::Ok;
    std::uint32_t systemError = 0;           // OpenError and ReadError
    FileFormat format = FileFormat::Binary;  // what the content was taken for
    std::vector<std::uint8_t> content;       // the buffer's new bytes (Ok only)
    BufferSlot slot;                         // the slot after the load (Ok only)
    std::wstring pathText;                   // text for the page's path box (Ok only)
};

// The length above which a file of this format is refused before it is read
// whole (each format module tells its own: the room itself for binary, the
// densest legal records plus slack for the text formats, a generous multiple
// for ELF, which also carries symbols and debugging data). Whatever the
// format, the text must not be allowed to exhaust a 32-bit process's memory.
std::uint64_t ReadLimit(FileFormat format, std::uint64_t roomLeft);

// The format is told from the first HeadLength bytes; a record line is at
// most a few hundred characters long.
constexpr std::size_t kHeadLength = 64 * 1024;

// Opens, reads and composes; the status says what went wrong, and the
// callers put it in their own words.
FileLoadOutcome LoadFileForBuffer(FileOpener& opener, const FileLoadRequest& request);

}  // namespace image
