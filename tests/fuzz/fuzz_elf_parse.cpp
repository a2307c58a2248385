// The ELF parser alone on any bytes: no crash, no sanitizer report, nothing
// read past the file (it lies in a buffer of exactly its size), no image
// larger than the room left, nothing returned with a refusal, and an accepted
// image never empty. Read by what it loads from a file that claims more
// bytes than it holds (a file that shrank): no crash, no read failure, no
// image beside a refusal, and an image both accept is the same.
#include <cstdint>
#include <vector>

#include "image/Elf.h"
#include "image/FileFormat.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// A file that holds only the buffer's bytes, whatever length it is said to have.
class ShortFile : public image::ElfFile {
public:
    explicit ShortFile(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count, std::size_t& got) override {
        got = 0;
        while (got < count && offset + got < bytes_.size()) {
            into[got] = bytes_[static_cast<std::size_t>(offset + got)];
            ++got;
        }
        return true;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint64_t room = ((std::uint64_t{data[0]} << 16) | (data[1] << 8) | data[2]) % 0x200001;
    data += 3;
    size -= 3;

    // The ELF identification is given, so that the fuzzer spends its time in
    // the headers rather than finding four bytes.
    std::vector<std::uint8_t> file(size + 4);
    file[0] = 0x7F, file[1] = 'E', file[2] = 'L', file[3] = 'F';
    for (std::size_t i = 0; i < size; ++i) file[4 + i] = data[i];

    const image::ImageResult r = image::ParseElf(file.data(), file.size(), room);
    FUZZ_CHECK(r.bytes.size() <= room);
    if (r.status != image::ImageStatus::Ok) FUZZ_CHECK(r.bytes.empty());
    if (r.status == image::ImageStatus::Ok) FUZZ_CHECK(!r.bytes.empty());
    FUZZ_CHECK(image::DetectFormat(file.data(), file.size(), false) == image::FileFormat::Elf);

    ShortFile shorter(file);
    bool readFailed = true;
    const image::ImageResult s = image::ParseElf(shorter, file.size() + 4096, room, &readFailed);
    FUZZ_CHECK(!readFailed);
    FUZZ_CHECK(s.bytes.size() <= room);
    if (s.status != image::ImageStatus::Ok) FUZZ_CHECK(s.bytes.empty());
    // The file that really holds its bytes may still be refused where the
    // longer claim passes (a table whose unread tail lies past its end).
    if (s.status == image::ImageStatus::Ok && r.status == image::ImageStatus::Ok) FUZZ_CHECK(s.bytes == r.bytes);
    return 0;
}
