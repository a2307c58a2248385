// The load and save paths of the image core as a command, timed against
// objcopy doing the same conversion:
//   format_tool load IN OUT   tell IN's format, parse it, write the image (from
//                             its lowest written address, as objcopy -O binary
//                             does) to OUT
//   format_tool save IN OUT   read the binary IN and write it as Intel HEX or
//                             S-record (by OUT's extension)
//   format_tool time load|save IN OUT
//                             the in-memory part alone (tell and parse, or
//                             encode), best of 10 runs, in milliseconds: what
//                             Load File and Save As spend beyond the file
//                             system's own reading and writing
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/image/HexFile.h"
#include "image/FileFormat.h"

namespace {

bool WriteFile(const char* path, const void* bytes, std::size_t length) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes, 1, length, f) == length;
    return std::fclose(f) == 0 && ok;
}

std::wstring Widen(const char* s) { return std::wstring(s, s + std::strlen(s)); }

}  // namespace

int Time(const char* mode, const char* inPath, const char* outPath) {
    std::vector<std::uint8_t> in;
    if (!ReadWholeFile(inPath, in)) return 1;
    const bool load = std::strcmp(mode, "load") == 0;
    const image::FileFormat saveAs = image::OutputFormatFor(Widen(outPath));
    double best = 1e30;
    for (int run = 0; run < 10; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::size_t produced = 0;
        if (load) {
            const image::FileFormat format = image::DetectFormat(in.data(), in.size(), false);
            const image::ImageResult r = image::ParseFormat(format, in.data(), in.size(), std::uint64_t{1} << 32);
            if (r.status != image::ImageStatus::Ok) return 1;
            produced = r.bytes.size();
        } else {
            image::EncodeImageInBlocks(saveAs, in.data(), in.size(), [&](const char*, std::size_t n) {
                produced += n;
                return true;
            });
        }
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (produced == 0) return 1;
        best = std::min(best, took.count());
    }
    std::printf("%.2f\n", best);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "time") == 0) return Time(argv[2], argv[3], argv[4]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: format_tool load|save IN OUT\n");
        return 2;
    }
    std::vector<std::uint8_t> in;
    if (!ReadWholeFile(argv[2], in)) return 1;
    if (std::strcmp(argv[1], "load") == 0) {
        const image::FileFormat format = image::DetectFormat(in.data(), in.size(), false);
        const image::ImageResult r = image::ParseFormat(format, in.data(), in.size(), std::uint64_t{1} << 32);
        if (r.status != image::ImageStatus::Ok) return 1;
        std::size_t lowest = 0;
        while (lowest < r.bytes.size() && r.bytes[lowest] == 0xFF) ++lowest;
        return WriteFile(argv[3], r.bytes.data() + lowest, r.bytes.size() - lowest) ? 0 : 1;
    }
    // Written piece by piece, as Save As writes.
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out) return 1;
    const bool written =
        image::EncodeImageInBlocks(image::OutputFormatFor(Widen(argv[3])), in.data(), in.size(),
                                   [&](const char* text, std::size_t n) { return std::fwrite(text, 1, n, out) == n; });
    return std::fclose(out) == 0 && written ? 0 : 1;
}
