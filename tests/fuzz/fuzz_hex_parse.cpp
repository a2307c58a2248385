// The parser alone on any bytes: no crash, no sanitizer report, no image
// larger than the room left, nothing returned with a refusal, and nothing
// after a NUL matters.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // Up to 2 MiB of room keeps every run fast; the arithmetic near 2^32 is
    // covered by the crafted tests and the composition target.
    const std::uint64_t room = ((std::uint64_t{data[0]} << 16) | (data[1] << 8) | data[2]) % 0x200001;
    data += 3;
    size -= 3;

    const image::ImageResult r = image::ParseIntelHex(data, size, room);
    FUZZ_CHECK(r.bytes.size() <= room);
    if (r.status != image::ImageStatus::Ok) FUZZ_CHECK(r.bytes.empty());

    std::string tail(reinterpret_cast<const char*>(data), size);
    tail += std::string(1, '\0') + ":ZZ\n:0100000001FF\n";
    const image::ImageResult t =
        image::ParseIntelHex(reinterpret_cast<const std::uint8_t*>(tail.data()), tail.size(), room);
    FUZZ_CHECK(t.status == r.status);
    FUZZ_CHECK(t.bytes == r.bytes);
    return 0;
}
