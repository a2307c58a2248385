// The wide hex-pair decoder against the plain one on any bytes: the same
// verdict, and for text that is all digits the same bytes and sum.
#include <cstdint>
#include <vector>

#include "image/HexPairs.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t pairs = size / 2;
    std::vector<std::uint8_t> wide(pairs), plain(pairs);
    unsigned wideSum = 0, plainSum = 0;
    const bool w = image::DecodeHexPairs(data, pairs, wide.data(), &wideSum);
    const bool p = image::DecodeHexPairsScalar(data, pairs, plain.data(), &plainSum);
    FUZZ_CHECK(w == p);
    if (p) {
        FUZZ_CHECK(wide == plain);
        FUZZ_CHECK(wideSum == plainSum);
    }
    return 0;
}
