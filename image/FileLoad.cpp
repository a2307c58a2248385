#include "image/FileLoad.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "image/Binary.h"
#include "image/Elf.h"
#include "image/HexDigits.h"
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

// The block a text file is read in after its head: large enough that a read
// costs little per byte, small beside any image worth the name.
constexpr std::size_t kTextBlock = 256 * 1024;

// Parses a text file (Intel HEX or S-record: Stream is its block reader) from
// its head on, block by block, so that the text is never held whole. The file
// is read to its end even after the end record, so that a read error is
// reported as when the file is read whole.
template <class Stream>
bool ParseTextInBlocks(FileSource& file, std::uint64_t length, std::vector<std::uint8_t>& block, std::uint64_t room,
                       ImageResult& parsed) {
    // Every data byte takes two digits: the image of a file written from
    // address 0 on, as nearly all are, fits in half the file's length.
    Stream stream(room, length / 2);
    bool more = stream.Feed(block.data(), block.size());
    block.resize(kTextBlock);
    for (;;) {
        std::size_t got = 0;
        if (!file.Read(block.data(), block.size(), got)) return false;
        if (got == 0) break;
        if (more) more = stream.Feed(block.data(), got);
    }
    parsed = stream.Finish();
    return true;
}

// Whether the first line of the head, the one its format is told by, ends
// inside it: then the whole file's first line is the same and the head tells
// the whole file's format.
bool FirstLineEndsIn(const std::vector<std::uint8_t>& head) {
    using namespace hexdigits;
    std::size_t i = head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF ? 3 : 0;
    while (i < head.size() && (IsLineEnd(head[i]) || IsBlank(head[i]))) ++i;
    while (i < head.size() && !IsLineEnd(head[i]) && head[i] != 0) ++i;
    return i < head.size();
}

// An ELF file read at the offsets its headers give: what lies in the head
// already read is taken from there, the rest is read from the file.
class ElfFromFile : public ElfFile {
public:
    ElfFromFile(FileSource& file, const std::vector<std::uint8_t>& head) : file_(file), head_(head) {}
    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count, std::size_t& got) override {
        got = 0;
        if (offset < head_.size() && count <= head_.size() - offset) {
            std::memcpy(into, head_.data() + offset, count);
            got = count;
            return true;
        }
        if (!file_.Seek(offset)) return false;
        while (got < count) {
            std::size_t n = 0;
            if (!file_.Read(into + got, count - got, n)) return false;
            if (n == 0) break;  // the file shrank under us
            got += n;
        }
        return true;
    }

private:
    FileSource& file_;
    const std::vector<std::uint8_t>& head_;
};

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
        // A head whose first record proves the file Intel HEX or S-record by
        // its content alone tells the same for the whole file; a .hex name
        // without such a record takes the whole-text path, which judges the
        // rest.
        const bool whole = bytes.size() < head || head == length;
        const FileFormat byContent = DetectFormat(bytes.data(), bytes.size(), false);
        const bool text = byContent == FileFormat::IntelHex || byContent == FileFormat::SRecord;
        if (text && (whole || FirstLineEndsIn(bytes))) {
            ImageResult parsed;
            const bool read = byContent == FileFormat::IntelHex
                                  ? ParseTextInBlocks<IntelHexStream>(*file, length, bytes, room, parsed)
                                  : ParseTextInBlocks<SRecordStream>(*file, length, bytes, room, parsed);
            if (!read) return Fail(FileLoadStatus::ReadError, file->LastError());
            std::vector<std::uint8_t>().swap(bytes);
            composed = ComposeParsed(compose, byContent, std::move(parsed));
        } else if (byContent == FileFormat::Elf) {
            // Only the headers and the loadable segments are read, each
            // segment straight into its place in the image.
            ElfFromFile elf(*file, bytes);
            bool readFailed = false;
            ImageResult parsed = ParseElf(elf, whole ? bytes.size() : length, room, &readFailed);
            if (readFailed) return Fail(FileLoadStatus::ReadError, file->LastError());
            std::vector<std::uint8_t>().swap(bytes);
            composed = ComposeParsed(compose, FileFormat::Elf, std::move(parsed));
        } else {
            if (!whole) {
                bytes.resize(static_cast<std::size_t>(length));
                if (!ReadUpTo(*file, bytes, head, bytes.size()))
                    return Fail(FileLoadStatus::ReadError, file->LastError());
            }
            if (DetectFormat(bytes.data(), bytes.size(), hexName) == FileFormat::Binary) {
                // The file is the image: it becomes the content without a copy
                // where the load allows.
                ImageResult image;
                image.bytes.swap(bytes);
                composed = ComposeParsed(compose, FileFormat::Binary, std::move(image));
            } else {
                compose.file = bytes.data();
                compose.fileLength = bytes.size();
                composed = ComposeLoad(compose);
            }
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
