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

#include "FileFormat.h"
#include "LoadState.h"
#include "text/UiText.h"

namespace image {

// An open file, read from its start.
class FileSource {
public:
    virtual ~FileSource() = default;
    // The file's length in bytes; false when the system cannot tell it.
    virtual bool Length(std::uint64_t& length) = 0;
    // Reads up to count bytes; got is 0 at the end of the file. False on a
    // read error.
    virtual bool Read(std::uint8_t* into, std::size_t count, std::size_t& got) = 0;
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

struct FileLoadRequest {
    std::wstring_view path;  // the file chosen, or the slot's file on a reload
    std::uint32_t capacity = 0;  // CodeCapacity or DataCapacity of the part
    InsertSettings insert;
    BufferSlot slot;         // the slot of the buffer
    bool reloading = false;
    const std::uint8_t* current = nullptr;  // the buffer's content; needed only when the load merges
    std::size_t currentLength = 0;
};

struct FileLoadOutcome {
    FileLoadStatus status = FileLoadStatus::Ok;
    std::uint32_t systemError = 0;           // OpenError and ReadError
    FileFormat format = FileFormat::Binary;  // what the content was taken for
    std::vector<std::uint8_t> content;       // the buffer's new bytes (Ok only)
    BufferSlot slot;                         // the slot after the load (Ok only)
    std::wstring pathText;                   // text for the page's path box (Ok only)
};

// The length above which a file of this format is refused before it is read
// whole: the room itself for binary; for the text formats the densest legal
// records (one data byte each: 15 characters a byte in HEX, up to 20 in
// S-record) plus slack for blank lines; for ELF, which also carries symbols
// and debugging data, a generous multiple. Whatever the format, the text must
// not be allowed to exhaust a 32-bit process's memory.
std::uint64_t ReadLimit(FileFormat format, std::uint64_t roomLeft);

// The format is told from the first HeadLength bytes; a record line is at
// most a few hundred characters long.
constexpr std::size_t kHeadLength = 64 * 1024;

FileLoadOutcome LoadFileForBuffer(FileOpener& opener, const FileLoadRequest& request);

// The log's text for a load's result: "Pass", "Open file error",
// "File is too large !", "HEX file error" or "File format error".
texts::TextId ResultText(FileLoadStatus status);

}  // namespace image
