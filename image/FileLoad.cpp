#include "image/FileLoad.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "image/Binary.h"
#include "image/Elf.h"
#include "image/IntelHex.h"
#include "image/SRecord.h"

namespace image {
namespace {

// Reads until `want` bytes are in `bytes` from `from` on or the file ends.
bool ReadUpTo(FileSource& file, std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t want) {
    while (from < want) {
        std::size_t got = 0;
        // Reads of at most 16 MiB: one call of the system cannot take more
        // than a 32-bit count anyway.
        const std::size_t chunk = std::min<std::size_t>(want - from, std::size_t{1} << 24);
        if (!file.Read(bytes.data() + from, chunk, got)) return false;
        if (got == 0) break;  // the file shrank under us: take what is there
        from += got;
    }
    bytes.resize(from);
    return true;
}

// The block an Intel HEX file is read in after its head: large enough that a
// read costs little per byte, small beside any image worth the name.
constexpr std::size_t kHexBlock = 256 * 1024;

// Parses an Intel HEX file from its head on, block by block, so that the text
// is never held whole. The file is read to its end even after the end record,
// so that a read error is reported as when the file is read whole.
bool ParseHexInBlocks(FileSource& file, std::uint64_t length, std::vector<std::uint8_t>& block, std::uint64_t room,
                      ImageResult& parsed) {
    // Every data byte takes two digits: the image of a file written from
    // address 0 on, as nearly all are, fits in half the file's length.
    IntelHexStream stream(room, length / 2);
    bool more = stream.Feed(block.data(), block.size());
    block.resize(kHexBlock);
    for (;;) {
        std::size_t got = 0;
        if (!file.Read(block.data(), block.size(), got)) return false;
        if (got == 0) break;
        if (more) more = stream.Feed(block.data(), got);
    }
    parsed = stream.Finish();
    return true;
}

FileLoadOutcome Fail(FileLoadStatus status, std::uint32_t error = 0) {
    FileLoadOutcome out;
    out.status = status;
    out.systemError = error;
    return out;
}

}  // namespace

std::uint64_t ReadLimit(FileFormat format, std::uint64_t roomLeft) {
    switch (format) {
    case FileFormat::Binary: break;
    case FileFormat::IntelHex: return IntelHexReadLimit(roomLeft);
    case FileFormat::SRecord: return SRecordReadLimit(roomLeft);
    case FileFormat::Elf: return ElfReadLimit(roomLeft);
    }
    return BinaryReadLimit(roomLeft);
}

FileLoadOutcome LoadFileForBuffer(FileOpener& opener, const FileLoadRequest& request) {
    std::uint32_t error = 0;
    const std::unique_ptr<FileSource> file = opener.Open(request.path, error);
    if (!file) return Fail(FileLoadStatus::OpenError, error);
    std::uint64_t length = 0;
    if (!file->Length(length)) return Fail(FileLoadStatus::ReadError, file->LastError());

    const std::uint64_t room = RoomLeft(request.capacity, request.insert.InsertOffset);
    const bool hexName = IsHexExtension(UpperExtension(request.path));
    // No format allows more than this; anything longer is refused without
    // reading even its first bytes.
    const std::uint64_t anyLimit = std::max({ReadLimit(FileFormat::IntelHex, room),
                                             ReadLimit(FileFormat::SRecord, room), ReadLimit(FileFormat::Elf, room)});
    if (length > anyLimit || length > std::vector<std::uint8_t>().max_size()) return Fail(FileLoadStatus::TooLarge);

    std::vector<std::uint8_t> bytes;
    FileLoadOutcome out;
    try {
        const std::size_t head = static_cast<std::size_t>(std::min<std::uint64_t>(length, kHeadLength));
        bytes.resize(head);
        if (!ReadUpTo(*file, bytes, 0, head)) return Fail(FileLoadStatus::ReadError, file->LastError());
        if (length > ReadLimit(DetectFormat(bytes.data(), bytes.size(), hexName), room))
            return Fail(FileLoadStatus::TooLarge);
        LoadRequest compose(request);
        compose.isHex = hexName;

        LoadOutcome composed;
        // A head whose first record proves the file Intel HEX by its content
        // alone tells the same for the whole file; a .hex name without such a
        // record takes the whole-text path, which judges the rest.
        if (DetectFormat(bytes.data(), bytes.size(), false) == FileFormat::IntelHex) {
            ImageResult parsed;
            if (!ParseHexInBlocks(*file, length, bytes, room, parsed))
                return Fail(FileLoadStatus::ReadError, file->LastError());
            std::vector<std::uint8_t>().swap(bytes);
            composed = ComposeParsed(compose, FileFormat::IntelHex, std::move(parsed));
        } else {
            if (bytes.size() == head && head < length) {
                bytes.resize(static_cast<std::size_t>(length));
                if (!ReadUpTo(*file, bytes, head, bytes.size()))
                    return Fail(FileLoadStatus::ReadError, file->LastError());
            }
            compose.file = bytes.data();
            compose.fileLength = bytes.size();
            composed = ComposeLoad(compose);
        }
        out.format = composed.format;
        switch (composed.status) {
        case ImageStatus::Ok: break;
        case ImageStatus::TooLarge: out.status = FileLoadStatus::TooLarge; return out;
        case ImageStatus::Malformed:
            out.status =
                composed.format == FileFormat::IntelHex ? FileLoadStatus::HexError : FileLoadStatus::FormatError;
            return out;
        }
        out.content.swap(composed.content);
        out.slot = std::move(composed.slot);
        out.pathText = std::move(composed.pathText);
    } catch (const std::bad_alloc&) {
        return Fail(FileLoadStatus::TooLarge);
    } catch (const std::length_error&) {
        return Fail(FileLoadStatus::TooLarge);
    }
    return out;
}

}  // namespace image
