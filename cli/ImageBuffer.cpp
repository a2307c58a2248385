#include "cli/ImageBuffer.h"

#include "buffers/LoadResultText.h"
#include "image/ImageCompose.h"
#include "text/UiText.h"

namespace cli {

bool IsHexFile(const std::wstring& path) { return image::IsHexExtension(image::UpperExtension(path)); }

bool TooLargeBeforeReading(bool isHex, std::uint64_t fileLength, std::uint32_t capacity, std::uint32_t insertOffset) {
    const image::FileFormat format = isHex ? image::FileFormat::IntelHex : image::FileFormat::Binary;
    return fileLength > image::ReadLimit(format, image::RoomLeft(capacity, insertOffset));
}

image::ImageStatus ImageBuffer::Load(const std::uint8_t* file, std::size_t length, const std::wstring& path,
                                     std::uint32_t insertOffset, bool clearFirst) {
    image::LoadRequest request;
    request.file = file;
    request.fileLength = length;
    request.isHex = IsHexFile(path);
    request.current = content_.data();
    request.currentLength = content_.size();
    request.slot = slot_;
    request.insert.InsertOffset = insertOffset;
    request.insert.ClearFirst = clearFirst ? 1 : 0;
    request.reloading = false;
    request.path = path;
    request.capacity = capacity_;
    image::LoadOutcome outcome = image::ComposeLoad(request);
    if (outcome.status == image::ImageStatus::Ok) {
        content_.swap(outcome.content);
        slot_ = outcome.slot;
    }
    return outcome.status;
}

image::FileLoadOutcome ImageBuffer::LoadFile(image::FileOpener& opener, const std::wstring& path,
                                             std::uint32_t insertOffset, bool clearFirst) {
    image::FileLoadRequest request;
    request.path = path;
    request.capacity = capacity_;
    request.insert.InsertOffset = insertOffset;
    request.insert.ClearFirst = clearFirst ? 1 : 0;
    request.slot = slot_;
    request.current = content_.data();
    request.currentLength = content_.size();
    image::FileLoadOutcome outcome = image::LoadFileForBuffer(opener, request);
    if (outcome.status == image::FileLoadStatus::Ok) {
        content_.swap(outcome.content);
        slot_ = outcome.slot;
    }
    return outcome;
}

std::wstring LoadErrorText(image::FileLoadStatus status) {
    if (status == image::FileLoadStatus::Ok) return L"";
    return LangText(LoadResultText(status), 0);
}

std::wstring LoadErrorText(image::ImageStatus status) {
    switch (status) {
    case image::ImageStatus::Ok: return L"";
    case image::ImageStatus::Malformed: return LangText(texts::kHexFileError, 0);
    case image::ImageStatus::TooLarge: return LangText(texts::kFileTooLarge, 0);
    }
    return L"";
}

}  // namespace cli
