// A code buffer (Flash or EEPROM) filled file by file with the window's load
// rules: image::LoadFileForBuffer over the buffer's content and its slot, so
// that formats, size limits, merging and Clear Buffer behave as they do behind
// Load File. Window-free; the caller supplies the file access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/FileLoad.h"
#include "image/ImageResult.h"
#include "image/LoadState.h"

namespace cli {

// The loader parses a file as Intel HEX exactly when its extension is HEX.
bool IsHexFile(const std::wstring& path);

// The window refuses a file whose length alone exceeds what its format can
// need between the insert offset and the capacity (image::ReadLimit) before
// it reads it whole, so a huge file costs neither time nor memory.
bool TooLargeBeforeReading(bool isHex, std::uint64_t fileLength, std::uint32_t capacity, std::uint32_t insertOffset);

class ImageBuffer {
public:
    explicit ImageBuffer(std::uint32_t capacity) : capacity_(capacity) {}

    // One user load of a whole file. On any status but Ok the buffer stays
    // as it was.
    image::ImageStatus Load(const std::uint8_t* file, std::size_t length, const std::wstring& path,
                            std::uint32_t insertOffset, bool clearFirst);

    // One user load of a file as Load File does it. On any status but Ok the
    // buffer stays as it was.
    image::FileLoadOutcome LoadFile(image::FileOpener& opener, const std::wstring& path, std::uint32_t insertOffset,
                                    bool clearFirst);

    const std::vector<std::uint8_t>& Content() const { return content_; }
    const image::BufferSlot& Slot() const { return slot_; }
    std::uint32_t Capacity() const { return capacity_; }

private:
    std::uint32_t capacity_;
    std::vector<std::uint8_t> content_;
    image::BufferSlot slot_;
};

// The window's message for a failed load: "HEX file error" or
// "File is too large !".
std::wstring LoadErrorText(image::ImageStatus status);
// The same for a whole file load, "File format error" and "Open file error"
// included.
std::wstring LoadErrorText(image::FileLoadStatus status);

}  // namespace cli
