#include "image/ImageCompose.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace image {

std::uint64_t RoomLeft(std::uint32_t capacity, std::uint32_t insertOffset) {
    return insertOffset > capacity ? 0 : std::uint64_t{capacity} - insertOffset;
}

ImageStatus ComposeBuffer(const std::uint8_t* current, std::size_t currentLength, bool merge,
                          std::uint32_t insertOffset, const std::uint8_t* image, std::size_t imageLength,
                          std::uint32_t capacity, std::vector<std::uint8_t>& content) {
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

namespace {

// The buffer's new content from the image, the plan and the slot. `owned` is
// the image's own storage when the image may be taken over rather than copied.
void ComposeInto(const LoadRequest& request, const std::uint8_t* image, std::size_t imageLength,
                 std::vector<std::uint8_t>* owned, LoadOutcome& out) {
    const std::uint32_t offset = request.insert.InsertOffset;
    const LoadPlan plan = PlanLoad(request.slot.LoadState, request.reloading, request.insert.ClearFirst != 0);
    if (owned != nullptr && !plan.merge && offset == 0 && imageLength <= request.capacity) {
        // The content would be the image itself: taking it over spares a
        // second image-sized block at the peak of a large load.
        out.status = ImageStatus::Ok;
        out.content.swap(*owned);
    } else {
        out.status = ComposeBuffer(request.current, request.currentLength, plan.merge, offset, image, imageLength,
                                   request.capacity, out.content);
    }
    if (out.status != ImageStatus::Ok) return;

    out.slot = SlotAfterLoad(request.slot, plan, request.reloading, request.path);
    out.pathText = PathText(out.slot.FilePath, plan.mixedText);
}

}  // namespace

LoadOutcome ComposeLoad(const LoadRequest& request) {
    const std::size_t length = request.file ? request.fileLength : 0;
    const FileFormat format = DetectFormat(request.file, length, request.isHex);
    if (format != FileFormat::Binary) {
        return ComposeParsed(
            request, format,
            ParseFormat(format, request.file, length, RoomLeft(request.capacity, request.insert.InsertOffset)));
    }
    LoadOutcome out;
    out.format = format;
    ComposeInto(request, request.file, length, nullptr, out);
    return out;
}

LoadOutcome ComposeParsed(const LoadRequest& request, FileFormat format, ImageResult parsed) {
    LoadOutcome out;
    out.format = format;
    if (parsed.status != ImageStatus::Ok) {
        out.status = parsed.status;
        return out;
    }
    ComposeInto(request, parsed.bytes.data(), parsed.bytes.size(), &parsed.bytes, out);
    return out;
}

}  // namespace image
