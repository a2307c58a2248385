// The load path of a HEX file as the window and the console programmer take
// it (LoadFileForBuffer: read in blocks, parse, compose), for the load
// benchmark against objcopy.
//
//   hexload_tool load FILE.hex OUT.bin   the buffer's content written out, as objcopy -O binary does
//   hexload_tool speed FILE.hex          in process: the block parser on the text held in memory,
//                                        and memcpy of a large buffer as the memory's own rate
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/image/HexFile.h"
#include "image/FileLoad.h"
#include "image/IntelHex.h"

namespace {

class StdioSource : public image::FileSource {
public:
    explicit StdioSource(std::FILE* f) : f_(f) {}
    ~StdioSource() override { std::fclose(f_); }
    bool Length(std::uint64_t& length) override {
        std::fseek(f_, 0, SEEK_END);
        length = static_cast<std::uint64_t>(std::ftell(f_));
        std::fseek(f_, 0, SEEK_SET);
        return true;
    }
    bool Read(std::uint8_t* into, std::size_t count, std::size_t& got) override {
        got = std::fread(into, 1, count, f_);
        return got == count || std::feof(f_);
    }
    bool Seek(std::uint64_t offset) override { return fseeko(f_, static_cast<off_t>(offset), SEEK_SET) == 0; }

private:
    std::FILE* f_;
};

class StdioOpener : public image::FileOpener {
public:
    std::unique_ptr<image::FileSource> Open(std::wstring_view path, std::uint32_t& error) override {
        const std::string narrow(path.begin(), path.end());
        std::FILE* f = std::fopen(narrow.c_str(), "rb");
        if (!f) {
            error = 2;
            return nullptr;
        }
        // The tool's own reads come in blocks; stdio's buffer would only add a copy.
        std::setvbuf(f, nullptr, _IONBF, 0);
        return std::make_unique<StdioSource>(f);
    }
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename F>
double Best(int runs, F f) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - t0));
    }
    return best;
}

int Load(const char* in, const char* out) {
    StdioOpener opener;
    const std::string name(in);
    const std::wstring path(name.begin(), name.end());
    image::FileLoadRequest request;
    request.path = path;
    request.capacity = 64u << 20;
    const image::FileLoadOutcome r = image::LoadFileForBuffer(opener, request);
    if (r.status != image::FileLoadStatus::Ok) {
        std::fprintf(stderr, "load failed: %d\n", static_cast<int>(r.status));
        return 1;
    }
    std::FILE* f = std::fopen(out, "wb");
    if (!f) return 1;
    const bool ok = std::fwrite(r.content.data(), 1, r.content.size(), f) == r.content.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

int Speed(const char* in) {
    std::vector<std::uint8_t> text;
    if (!ReadWholeFile(in, text)) return 1;
    std::size_t imageLength = 0;
    const double parse = Best(5, [&] {
        image::IntelHexStream stream(64u << 20, text.size() / 2);  // as LoadFileForBuffer does
        constexpr std::size_t kBlock = 256 * 1024;
        for (std::size_t at = 0; at < text.size(); at += kBlock)
            if (!stream.Feed(text.data() + at, std::min(kBlock, text.size() - at))) break;
        imageLength = stream.Finish().bytes.size();
    });
    // The memory's rate: a copy of a buffer far larger than the caches.
    std::vector<std::uint8_t> from(256u << 20, 1), to(256u << 20, 0);
    const double copy = Best(5, [&] { std::memcpy(to.data(), from.data(), from.size()); });
    const double parseRate = static_cast<double>(text.size()) / parse;
    const double copyRate = static_cast<double>(from.size()) / copy;
    std::printf("  parse   %8.1f MiB of text/s  (%zu characters -> %zu bytes, best of 5)\n", parseRate / 1048576,
                text.size(), imageLength);
    std::printf("  memcpy  %8.1f MiB/s (256 MiB, best of 5)\n", copyRate / 1048576);
    std::printf(
        "  parse / memcpy = %.1f %%  (memcpy reads and writes each byte once, the parser reads its text once)\n",
        100.0 * parseRate / copyRate);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "load") == 0) return Load(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "speed") == 0) return Speed(argv[2]);
    std::fprintf(stderr, "usage: %s load FILE.hex OUT.bin | speed FILE.hex\n", argv[0]);
    return 2;
}
