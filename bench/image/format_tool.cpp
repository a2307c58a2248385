// The load and save paths of the image core as a command, timed against
// objcopy doing the same conversion:
//   format_tool load IN OUT   tell IN's format, parse it, write the image (from
//                             its lowest written address, as objcopy -O binary
//                             does) to OUT
//   format_tool save IN OUT   read the binary IN and write it as Intel HEX or
//                             S-record (by OUT's extension)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FileFormat.h"
#include "HexFile.h"

namespace {

bool WriteFile(const char* path, const void* bytes, std::size_t length) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes, 1, length, f) == length;
    return std::fclose(f) == 0 && ok;
}

std::wstring Widen(const char* s) { return std::wstring(s, s + std::strlen(s)); }

}  // namespace

int main(int argc, char** argv) {
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
    std::string text;
    image::EncodeImage(image::OutputFormatFor(Widen(argv[3])), in.data(), in.size(), text);
    return WriteFile(argv[3], text.data(), text.size()) ? 0 : 1;
}
