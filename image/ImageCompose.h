// Building the new content of a code buffer from a loaded file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/FileFormat.h"
#include "image/ImageResult.h"
#include "image/LoadState.h"

namespace image {

// Bytes an image may span from the insert offset up to the capacity; 0 when
// the offset itself lies beyond the capacity.
std::uint64_t RoomLeft(std::uint32_t capacity, std::uint32_t insertOffset);

// New buffer content: n bytes of 0xFF, the current content copied to the start
// when merging, then the image at insertOffset, where n is insertOffset plus
// the image length, or the current length if that is larger and merging.
// TooLarge (content untouched) when insertOffset + imageLength exceeds the
// capacity; the sum is taken without wrap-around.
ImageStatus ComposeBuffer(const std::uint8_t* current, std::size_t currentLength, bool merge,
                          std::uint32_t insertOffset, const std::uint8_t* image, std::size_t imageLength,
                          std::uint32_t capacity, std::vector<std::uint8_t>& content);

// What a load is asked to do for one buffer, whatever reads the file.
struct FileLoadRequest {
    std::wstring_view path;      // the file chosen, or the slot's file on a reload
    std::uint32_t capacity = 0;  // CodeCapacity or DataCapacity of the part
    InsertSettings insert;
    BufferSlot slot;  // the slot of the buffer
    bool reloading = false;
    const std::uint8_t* current = nullptr;  // the buffer's content; needed only when the load merges
    std::size_t currentLength = 0;
};

// Everything a load decides once the file is in memory: the request and the
// file itself.
struct LoadRequest : FileLoadRequest {
    LoadRequest() = default;
    explicit LoadRequest(const FileLoadRequest& request) : FileLoadRequest(request) {}

    const std::uint8_t* file = nullptr;  // the whole file
    std::size_t fileLength = 0;
    bool isHex = false;  // IsHexExtension of the file's extension: such a file whose
                         // content is no other format stays Intel HEX (DetectFormat)
};

struct LoadOutcome {
    ImageStatus status = ImageStatus::Ok;
    FileFormat format = FileFormat::Binary;  // what the file's content was taken for
    std::vector<std::uint8_t> content;       // the buffer's new bytes (Ok only)
    BufferSlot slot;                         // the slot after the load (Ok only)
    std::wstring pathText;                   // text for the page's path box (Ok only)
};

// Tells the format by the content (DetectFormat), parses it (HEX, S-record,
// ELF) or takes it (binary), tests the capacity, applies
// ClearFirst and the merge rule. On any status but Ok the caller leaves the
// buffer, the slot and the page as they were.
LoadOutcome ComposeLoad(const LoadRequest& request);

// ComposeLoad for a file already parsed (an Intel HEX file read in blocks):
// `parsed` is the parse's outcome for `format`; request.file is not read.
LoadOutcome ComposeParsed(const LoadRequest& request, FileFormat format, ImageResult parsed);

}  // namespace image
