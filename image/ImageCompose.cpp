#include "ImageCompose.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>


namespace image {

std::uint64_t RoomLeft(std::uint32_t capacity, std::uint32_t insertOffset) {
    return insertOffset > capacity ? 0 : std::uint64_t{capacity} - insertOffset;
}

ImageStatus ComposeBuffer(const std::uint8_t* current, std::size_t currentLength, bool merge,
                          std::uint32_t insertOffset, const std::uint8_t* image,
                          std::size_t imageLength, std::uint32_t capacity,
                          std::vector<std::uint8_t>& content) {
    const std::uint64_t imageEnd = std::uint64_t{insertOffset} + imageLength;
    if (imageEnd > capacity) return ImageStatus::TooLarge;
    if (current == nullptr) currentLength = 0;
    const std::uint64_t n = merge ? std::max<std::uint64_t>(imageEnd, currentLength) : imageEnd;
    try {
        std::vector<std::uint8_t> next(static_cast<std::size_t>(n), 0xFF);
        if (merge && currentLength != 0) std::memcpy(next.data(), current, currentLength);
        if (imageLength != 0) std::memcpy(next.data() + insertOffset, image, imageLength);
        content.swap(next);
    } catch (const std::bad_alloc&) {
        // A 32-bit process may not find gigabytes for a part that claims them.
        return ImageStatus::TooLarge;
    } catch (const std::length_error&) {
        return ImageStatus::TooLarge;
    }
    return ImageStatus::Ok;
}

LoadOutcome ComposeLoad(const LoadRequest& request) {
    LoadOutcome out;
    const std::uint32_t offset = request.insert.InsertOffset;

    ImageResult parsed;
    const std::uint8_t* image = request.file;
    std::size_t imageLength = request.file ? request.fileLength : 0;
    out.format = DetectFormat(request.file, imageLength, request.isHex);
    if (out.format != FileFormat::Binary) {
        parsed = ParseFormat(out.format, request.file, imageLength, RoomLeft(request.capacity, offset));
        if (parsed.status != ImageStatus::Ok) {
            out.status = parsed.status;
            return out;
        }
        image = parsed.bytes.data();
        imageLength = parsed.bytes.size();
    }

    const LoadPlan plan =
        PlanLoad(request.slot.LoadState, request.reloading, request.insert.ClearFirst != 0);
    out.status = ComposeBuffer(request.current, request.currentLength, plan.merge, offset, image,
                               imageLength, request.capacity, out.content);
    if (out.status != ImageStatus::Ok) return out;

    out.slot = SlotAfterLoad(request.slot, plan, request.reloading, request.path);
    out.pathText = PathText(out.slot.FilePath, plan.mixedText);
    return out;
}

}  // namespace image
