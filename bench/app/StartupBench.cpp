// Start-up time of Tarvel_AP.exe to a painted main window, against its peer:
// the same main window built from the tool's own resources with nothing
// behind it (bare_dialog.exe), and that peer with the tool's start-up work
// added a piece at a time (library, tab pages with hex editors, port list).
// Every round starts each of them once, in turn, so that the machine's drift
// falls on all alike. A start is timed from CreateProcess until the main
// window is visible and the process's UI thread has gone idle (its first
// paint done); then the window is closed. Prints the medians, the tool's
// ratio to the bare window and what each piece adds.
//   startup_bench.exe [ROUNDS] [OTHER_TOOL.exe]
// OTHER_TOOL.exe, a build of the tool from other sources placed beside this
// program, joins the rounds for a before-and-after figure in the same run.
#include "tests/e2e/ToolDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
struct Variant {
    const wchar_t* label;
    const wchar_t* exe;
    const wchar_t* arguments;
    std::vector<double> ms;
};

double StartOnce(const std::wstring& folder, const Variant& v) {
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    e2e::Tool tool(folder, v.exe, v.arguments);
    if (!tool.WaitForMainWindow()) return -1.0;
    ::QueryPerformanceCounter(&t1);
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    tool.WaitForExit();
    return 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 7;
    e2e::TempFolder dir;
    dir.InstallTool();
    dir.InstallAs(L"bare_dialog.exe", L"bare_dialog.exe");
    const std::wstring other = argc > 2 ? argv[2] : L"";
    std::vector<Variant> variants = {
        {L"tool", L"Tarvel_AP.exe", L"", {}},
        {L"bare window", L"bare_dialog.exe", L"", {}},
        {L"+ Tarvel_DLL", L"bare_dialog.exe", L"library", {}},
        {L"+ pages and hex editors", L"bare_dialog.exe", L"library pages", {}},
        {L"+ port list", L"bare_dialog.exe", L"library pages ports", {}},
    };
    if (!other.empty()) {
        dir.InstallAs(other.c_str(), other.c_str());
        variants.push_back({other.c_str(), other.c_str(), L"", {}});
    }
    // One start of each first, unmeasured: the first start of a program
    // pays for the file cache and Wine's first load of its DLLs.
    for (const Variant& v : variants) {
        if (StartOnce(dir.Path(), v) < 0) {
            std::fprintf(stderr, "%ls: no main window\n", v.label);
            return 1;
        }
    }
    for (int round = 0; round < rounds; ++round) {
        for (Variant& v : variants) {
            const double ms = StartOnce(dir.Path(), v);
            if (ms < 0) {
                std::fprintf(stderr, "%ls: no main window\n", v.label);
                return 1;
            }
            v.ms.push_back(ms);
        }
    }
    std::printf("median of %d alternating starts each (ms; min, max):\n", rounds);
    double previous = 0;
    const double bare = Median(variants[1].ms);
    for (size_t i = 0; i < 5; ++i) {
        const Variant& v = variants[i];
        const double median = Median(v.ms);
        std::printf("  %-32ls %7.1f  (%.1f, %.1f)", v.label, median, *std::min_element(v.ms.begin(), v.ms.end()),
                    *std::max_element(v.ms.begin(), v.ms.end()));
        if (i >= 2) std::printf("   adds %+.1f", median - previous);
        std::printf("\n");
        if (i >= 1) previous = median;
    }
    const double tool = Median(variants[0].ms);
    std::printf("  the rest of the tool's start adds %+.1f\n", tool - previous);
    std::printf("tool / bare window: %.2fx\n", tool / bare);
    if (!other.empty()) {
        const double median = Median(variants[5].ms);
        std::printf("%ls: %.1f ms, %.2fx the bare window; the tool takes %.2fx its time\n", other.c_str(), median,
                    median / bare, tool / median);
    }
    return 0;
}
