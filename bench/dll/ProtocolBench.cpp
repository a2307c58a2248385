// Figures of the programming protocol, host and simulated target in one
// process (the same code the library's built-in adapter runs):
//  - WireEfficiency64K: image bytes over all bytes on the line, both
//    directions, for a 64 KiB image (no pacing: a count, not a time).
//  - Program64KPaced/115200: wall time of the whole run with the target
//    pacing every byte at 10 bit times, against the line-rate limit of
//    11,520 bytes per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/SimulatedLink.h"

namespace {

using namespace tarvel;

struct Fixture {
    explicit Fixture(bool pace, std::uint32_t rate) : image(64 * 1024) {
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 251u >> 2);
        parts = Parts(TableVariant::Normal);
        index = FindPart(parts, "T30C64");  // 64 KiB Flash, 115200 bit/s bootloader
        scenario.Pace = pace;
        scenario.RepeatDelayMs = 0;
        job.Body = &parts.Body[index];
        job.Traits = parts.Traits[index];
        job.CheckRate = static_cast<std::int32_t>(rate);
        job.BaudRate = static_cast<std::int32_t>(rate);
        job.Code = image.data();
        job.CodeSize = image.size();
        job.Status = &status;
        job.Stop = &stop;
    }
    std::vector<std::uint8_t> image;
    PartsView parts{};
    int index = 0;
    Scenario scenario;
    HostJob job;
    isp::StatusWord status{isp::kStatusWaitingForTarget};
    isp::StopRequest stop{0};
};

void WireEfficiency64K(benchmark::State& state) {
    Fixture f(false, 115200);
    HostStats stats;
    for (auto _ : state) {
        SimulatedLink link(f.scenario, f.parts, f.index);
        stats = HostStats{};
        if (RunUpdate(link, f.job, &stats) != isp::kPass) state.SkipWithError("run failed");
    }
    const double wire = static_cast<double>(stats.BytesOut + stats.BytesIn);
    state.counters["image_bytes"] = static_cast<double>(stats.ImageBytes);
    state.counters["wire_out"] = static_cast<double>(stats.BytesOut);
    state.counters["wire_in"] = static_cast<double>(stats.BytesIn);
    state.counters["efficiency_both"] = static_cast<double>(stats.ImageBytes) / wire;
    state.counters["efficiency_out"] = static_cast<double>(stats.ImageBytes) / static_cast<double>(stats.BytesOut);
}
BENCHMARK(WireEfficiency64K)->Unit(benchmark::kMillisecond);

void Program64KPaced(benchmark::State& state) {
    const auto rate = static_cast<std::uint32_t>(state.range(0));
    Fixture f(true, rate);
    HostStats stats;
    for (auto _ : state) {
        SimulatedLink link(f.scenario, f.parts, f.index);
        stats = HostStats{};
        if (RunUpdate(link, f.job, &stats) != isp::kPass) state.SkipWithError("run failed");
    }
    const double lineBytesPerSecond = rate / 10.0;
    state.counters["line_limit_s"] = static_cast<double>(f.image.size()) / lineBytesPerSecond;
    state.counters["image_Bps"] = benchmark::Counter(static_cast<double>(f.image.size()),
                                                     benchmark::Counter::kIsIterationInvariantRate);
    state.counters["wire_bytes"] = static_cast<double>(stats.BytesOut + stats.BytesIn);
}
BENCHMARK(Program64KPaced)->Arg(115200)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
