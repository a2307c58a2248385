// Outcome of turning a firmware file into an image, shared by the format
// readers, the raw binary path and the composition of a new buffer content.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

namespace image {

enum class ImageStatus {
    Ok,         // the image (or the new content) is ready
    Malformed,  // the file holds a record or a header that cannot be trusted; nothing of it is used
    TooLarge,   // the image does not fit between the insert offset and the part's capacity
};

struct ImageResult {
    ImageStatus status = ImageStatus::Ok;
    std::vector<std::uint8_t> bytes;  // the image; empty unless status is Ok
};

// A refusal: the status and no image.
inline ImageResult Refused(ImageStatus status) {
    ImageResult r;
    r.status = status;
    return r;
}

// The part of roomLeft an image can really take: a 32-bit process has no room
// for an image of gigabytes however large the part claims to be, and such an
// image is refused like any other that does not fit.
inline std::uint64_t UsableRoom(std::uint64_t roomLeft) {
    return std::min<std::uint64_t>(roomLeft, std::vector<std::uint8_t>().max_size());
}

// Runs a reader; memory the system cannot give makes the image TooLarge, as
// an image that does not fit.
template <class Read>
ImageResult TooLargeWithoutMemory(Read&& read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        return Refused(ImageStatus::TooLarge);
    } catch (const std::length_error&) {
        return Refused(ImageStatus::TooLarge);
    }
}

}  // namespace image
