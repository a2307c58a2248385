// The parser against the plain reference model: same result, same image.
#include <cstdint>
#include <string>

#include "image/IntelHex.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/support/HexModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint64_t room = ((std::uint64_t{data[0]} << 16) | (data[1] << 8) | data[2]) % 0x100001;
    data += 3;
    size -= 3;
    const image::ImageResult fast = image::ParseIntelHex(data, size, room);
    const image::ImageResult model = hexmodel::ModelParse(std::string(reinterpret_cast<const char*>(data), size), room);
    FUZZ_CHECK(fast.status == model.status);
    FUZZ_CHECK(fast.bytes == model.bytes);
    return 0;
}
