// Outcome of turning a firmware file into an image, shared by the HEX parser,
// the raw binary path and the composition of a new buffer content.
#pragma once

#include <cstdint>
#include <vector>

namespace image {

enum class ImageStatus {
    Ok,         // the image (or the new content) is ready
    Malformed,  // the HEX text holds a record that cannot be trusted; nothing of it is used
    TooLarge,   // the image does not fit between the insert offset and the part's capacity
};

struct ImageResult {
    ImageStatus status = ImageStatus::Ok;
    std::vector<std::uint8_t> bytes;  // the image; empty unless status is Ok
};

}  // namespace image
