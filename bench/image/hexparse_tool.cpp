// Parses one HEX file once and prints the image size and checksum: the
// subject of the callgrind and peak-memory measurements.
#include <cstdio>

#include "bench/image/HexFile.h"
#include "image/ByteSum.h"
#include "image/IntelHex.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.hex\n", argv[0]);
        return 2;
    }
    std::vector<std::uint8_t> text;
    if (!ReadWholeFile(argv[1], text)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const image::ImageResult r = image::ParseIntelHex(text.data(), text.size(), 64u << 20);
    if (r.status != image::ImageStatus::Ok) {
        std::fprintf(stderr, "parse failed (%d)\n", static_cast<int>(r.status));
        return 1;
    }
    std::printf("%zu characters, image %zu bytes, checksum %04X\n", text.size(), r.bytes.size(),
                static_cast<unsigned>(image::ByteSum16(r.bytes.data(), r.bytes.size())));
    return 0;
}
