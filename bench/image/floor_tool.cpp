// The floor of a load: what it costs just to read a firmware file and write
// an image of the size it carries, with no parsing at all. The file is read
// in the blocks the load reads in, an image of the given size is touched
// (every byte written) and written out as the load's output is, so that the
// load benchmark can say how far above the machine's own cost each format's
// load lies.
//
//   floor_tool FILE OUT.bin IMAGE_BYTES
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FILE OUT.bin IMAGE_BYTES\n", argv[0]);
        return 2;
    }
    const std::size_t imageBytes = static_cast<std::size_t>(std::strtoull(argv[3], nullptr, 10));
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in) return 1;
    std::setvbuf(in, nullptr, _IONBF, 0);
    // Read the whole file block by block; the image is written as the file
    // goes, in proportion, so that its pages are touched as a parse would.
    constexpr std::size_t kBlock = 256 * 1024;
    std::vector<std::uint8_t> block(kBlock);
    std::vector<std::uint8_t> image;
    image.reserve(imageBytes);
    std::fseek(in, 0, SEEK_END);
    const long length = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    unsigned check = 0;
    std::size_t read = 0;
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), in);
        if (got == 0) break;
        read += got;
        check += block[got - 1];
        const std::size_t upTo =
            length > 0 ? static_cast<std::size_t>(static_cast<double>(imageBytes) * read / length) : imageBytes;
        if (upTo > image.size()) image.resize(upTo < imageBytes ? upTo : imageBytes, static_cast<std::uint8_t>(check));
    }
    std::fclose(in);
    image.resize(imageBytes, 0xFF);
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) return 1;
    const bool ok = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
