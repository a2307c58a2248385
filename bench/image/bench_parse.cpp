// Parse throughput in megabytes of HEX text per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench/image/HexFile.h"
#include "image/IntelHex.h"

namespace {

std::string g_dir;

void BM_ParseIntelHex(benchmark::State& state, const char* file) {
    std::vector<std::uint8_t> text;
    if (!ReadWholeFile((g_dir + "/" + file).c_str(), text)) {
        state.SkipWithError("missing input file; run bench/image/run-bench.sh");
        return;
    }
    for (auto _ : state) {
        image::ImageResult r = image::ParseIntelHex(text.data(), text.size(), 64u << 20);
        benchmark::DoNotOptimize(r.bytes.data());
        if (r.status != image::ImageStatus::Ok) state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

BENCHMARK_CAPTURE(BM_ParseIntelHex, 64KiB, "image-64K.hex")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ParseIntelHex, 1MiB, "image-1M.hex")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseIntelHex, 16MiB, "image-16M.hex")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("HEX_BENCH_DIR");
    g_dir = dir ? dir : ".";
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
