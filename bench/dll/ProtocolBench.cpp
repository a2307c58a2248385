// Figures of the programming protocol, host and simulated target in one
// process (the same code the library's built-in adapter runs):
//  - WireEfficiency64K: image bytes over all bytes on the line, both
//    directions, for a 64 KiB image (no pacing: a count, not a time).
//  - Program64KPaced/rate/check: wall time of the whole run against the
//    built-in adapter as the library sets it up without [Adapter] entries
//    (every byte paced at 10 bit times at the rate in use), at download rate
//    115200 given outright (check rate 115200) or through "Auto" (0, check
//    rate 9600), against the line-rate limit of 11,520 bytes per second:
//    line_limit_s is the image's own line time, line_share that time over
//    the run's (1.0 would be the image alone on the line, nothing else).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/IniSettings.h"
#include "tarvel_dll/protocol/SimulatedLink.h"

namespace {

using namespace tarvel;

struct Fixture {
    // pace: the adapter's own defaults; else a target whose bytes take no time.
    Fixture(bool pace, std::uint32_t rate, std::uint32_t checkRate) : image(64 * 1024) {
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 251u >> 2);
        parts = Parts(TableVariant::Normal);
        index = FindPart(parts, "T30C64");  // 64 KiB Flash, 115200 bit/s bootloader
        if (pace) scenario = AdapterDefaults();
        scenario.RepeatDelayMs = 0;  // one run per seated chip
        job.Body = &parts.Body[index];
        job.Traits = parts.Traits[index];
        job.CheckRate = static_cast<std::int32_t>(checkRate);
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
    Fixture f(false, 115200, 115200);
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
    Fixture f(true, static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)));
    HostStats stats;
    double seconds = 0;
    for (auto _ : state) {
        SimulatedLink link(f.scenario, f.parts, f.index);
        stats = HostStats{};
        const auto t0 = std::chrono::steady_clock::now();
        if (RunUpdate(link, f.job, &stats) != isp::kPass) state.SkipWithError("run failed");
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    const double lineBytesPerSecond = stats.Rate / 10.0;
    const double lineLimit = static_cast<double>(f.image.size()) / lineBytesPerSecond;
    state.counters["rate"] = stats.Rate;
    state.counters["line_limit_s"] = lineLimit;
    state.counters["line_share"] = lineLimit / seconds;
    state.counters["image_Bps"] = static_cast<double>(f.image.size()) / seconds;
    state.counters["wire_bytes"] = static_cast<double>(stats.BytesOut + stats.BytesIn);
}
BENCHMARK(Program64KPaced)
    ->Args({115200, 115200})
    ->Args({0, 9600})
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
