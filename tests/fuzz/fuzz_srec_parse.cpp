// The S-record parser alone on any bytes: no crash, no sanitizer report, no
// image larger than the room left, nothing returned with a refusal, nothing
// after a NUL matters, and an accepted image written out again as S-records
// reads back the same. The text read in blocks (SRecordStream), one byte at a
// time and at boundaries the input chooses, gives the same outcome as the
// text read in one piece, and so does the tests' whole-text reference.
#include <algorithm>
#include <cstdint>
#include <string>

#include "image/FileFormat.h"
#include "image/SRecord.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/support/WholeTextSRecord.h"

namespace {

image::ImageResult InBlocks(const std::uint8_t* data, std::size_t size, std::uint64_t room, std::uint32_t seed) {
    // With a seed, the image is also reserved ahead as a load does.
    image::SRecordStream stream(room, seed ? size / 2 : 0);
    // Block sizes from 1 up to a limit the seed sets, drawn by a small LCG.
    const std::uint32_t limit = seed % 600 + 1;
    std::uint32_t state = seed;
    while (size > 0) {
        state = state * 1664525u + 1013904223u;
        const std::size_t n = std::min<std::size_t>(size, (state >> 8) % limit + 1);
        const bool more = stream.Feed(data, n);
        data += n;
        size -= n;
        if (!more) break;
    }
    return stream.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint64_t room = ((std::uint64_t{data[0]} << 16) | (data[1] << 8) | data[2]) % 0x200001;
    data += 3;
    size -= 3;

    const image::ImageResult r = image::ParseSRecord(data, size, room);
    FUZZ_CHECK(r.bytes.size() <= room);
    if (r.status != image::ImageStatus::Ok) FUZZ_CHECK(r.bytes.empty());
    const image::ImageResult whole = hexmodel::ParseWholeSRecord(data, size, room);
    FUZZ_CHECK(whole.status == r.status);
    FUZZ_CHECK(whole.bytes == r.bytes);

    const std::uint32_t seed = static_cast<std::uint32_t>(room * 2654435761u) ^ static_cast<std::uint32_t>(size);
    for (const std::uint32_t s : {0u, seed}) {
        const image::ImageResult b = InBlocks(data, size, room, s);
        FUZZ_CHECK(b.status == r.status);
        FUZZ_CHECK(b.bytes == r.bytes);
    }

    std::string tail(reinterpret_cast<const char*>(data), size);
    tail += std::string(1, '\0') + "S1\nS9030000FC\n";
    const image::ImageResult t =
        image::ParseSRecord(reinterpret_cast<const std::uint8_t*>(tail.data()), tail.size(), room);
    FUZZ_CHECK(t.status == r.status);
    FUZZ_CHECK(t.bytes == r.bytes);

    if (r.status == image::ImageStatus::Ok && r.bytes.size() <= 0x10000) {
        std::string again;
        image::WriteSRecord(r.bytes.data(), r.bytes.size(), again);
        const image::ImageResult back =
            image::ParseSRecord(reinterpret_cast<const std::uint8_t*>(again.data()), again.size(), r.bytes.size());
        FUZZ_CHECK(back.status == image::ImageStatus::Ok);
        FUZZ_CHECK(back.bytes == r.bytes);
    }
    return 0;
}
