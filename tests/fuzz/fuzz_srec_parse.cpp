// The S-record parser alone on any bytes: no crash, no sanitizer report, no
// image larger than the room left, nothing returned with a refusal, nothing
// after a NUL matters, and an accepted image written out again as S-records
// reads back the same.
#include <cstdint>
#include <string>

#include "image/FileFormat.h"
#include "image/SRecord.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint64_t room = ((std::uint64_t{data[0]} << 16) | (data[1] << 8) | data[2]) % 0x200001;
    data += 3;
    size -= 3;

    const image::ImageResult r = image::ParseSRecord(data, size, room);
    FUZZ_CHECK(r.bytes.size() <= room);
    if (r.status != image::ImageStatus::Ok) FUZZ_CHECK(r.bytes.empty());

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
