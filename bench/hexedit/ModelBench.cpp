// The window-free share of the hex view's costs: formatting the rows of one
// paint, replacing the buffer, and the caret and scroll moves, for buffers
// from 256 bytes to 256 MiB. The "allocs" counter shows heap allocations per
// iteration (there should be none while painting or moving).
#include "hexedit/HexViewModel.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++g_allocations;
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace hexedit;

// A 640 x 300 view of the tool's kind: 6 address digits, text column, 16 a row.
struct Fixture {
    HexViewModel m;
    explicit Fixture(size_t size) {
        m.ShowAddressColumn(true);
        m.SetAddressDigits(6);
        m.ShowTextColumn(true);
        m.SetBytesPerRow(16);
        std::vector<uint8_t> bytes(size, 0x5A);
        m.SetBuffer(bytes.data(), static_cast<uint32_t>(size));
        m.RecalcLayout(8, 13, {0, 0, 640, 300});
    }
};

const std::vector<int64_t> kSizes = {256, 64 << 10, 16 << 20, 256 << 20};

void BM_PaintRows(benchmark::State& state) {
    Fixture f(static_cast<size_t>(state.range(0)));
    f.m.ScrollVertical(kThumbTrack, f.m.GetLayout().maxTopRow / 2);
    f.m.SelectAll();
    char address[kAddressTextSize];
    char text[kRowTextSize];
    const long before = g_allocations;
    for (auto _ : state) {
        uint32_t first = 0, last = 0;
        if (!f.m.PaintRows(&first, &last)) continue;
        size_t sum = 0;
        for (uint64_t r = first; r <= last; ++r) {
            const uint32_t row = static_cast<uint32_t>(r);
            sum += f.m.FormatAddress(row, address);
            sum += f.m.FormatHexRow(row, text);
            size_t a = 0, b = 0;
            if (f.m.RowSelection(row, &a, &b)) sum += b - a;
            sum += f.m.FormatTextRow(row, text);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["allocs"] = benchmark::Counter(double(g_allocations - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PaintRows)->ArgsProduct({kSizes});

void BM_SetBuffer(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> bytes(size, 0x5A);
    HexViewModel m;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.SetBuffer(bytes.data(), static_cast<uint32_t>(size)));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}
BENCHMARK(BM_SetBuffer)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

// Moves in a 256 MiB buffer; each iteration is one key press or thumb step.
void BM_Move(benchmark::State& state) {
    static Fixture f(256u << 20);
    const int which = static_cast<int>(state.range(0));
    const uint32_t maxTop = f.m.GetLayout().maxTopRow;
    uint32_t step = 0;
    const long before = g_allocations;
    for (auto _ : state) {
        switch (which) {
        case 0:
            if (f.m.CaretIndex() + 64 * 16 >= f.m.Length()) f.m.SetCaretIndex(0, true);
            benchmark::DoNotOptimize(f.m.KeyDown(Key::PageDown, false));
            break;
        case 1:
            f.m.SetCaretIndex(0, true);
            benchmark::DoNotOptimize(f.m.KeyDown(Key::End, false));
            break;
        case 2:
            step = (step + 7919) % maxTop;
            benchmark::DoNotOptimize(f.m.ScrollVertical(kThumbTrack, step));
            break;
        }
    }
    state.counters["allocs"] = benchmark::Counter(double(g_allocations - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Move)->Arg(0)->Arg(1)->Arg(2)->ArgName("pgdn0_end1_thumb2");

}  // namespace

BENCHMARK_MAIN();
