// Start-up time of Tarvel_AP.exe to a painted main window with the start-up
// version check on (UpdateTips=1) against a server that accepts and never
// answers, next to the same start with the check off (UpdateTips=0).
// Measured as StartupBench does (CreateProcess until the main window is
// visible and the tool has gone idle), and further until the main window has
// nothing left to paint and its thread answers; the two kinds of start
// take turns so that drift of the machine hits both alike. Prints every run,
// the medians and their ratio. With --control as the second argument both
// kinds start with the check off, which shows how far two identical series
// differ on this machine at this time.
#include "tests/e2e/HttpTestServer.h"
#include "tests/e2e/ToolDriver.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

void WriteSettings(const e2e::TempFolder& dir, const std::wstring& server, int updateTips) {
    const std::wstring text = L"[Setting]\r\nUpdateServer=" + server + L"\r\nUpdateTimeoutMs=60000\r\nUpdateTips=" +
                              std::to_wstring(updateTips) + L"\r\n";
    std::ofstream out(dir.File(L"Setting.ini").c_str(), std::ios::binary | std::ios::trunc);
    out.write("\xFF\xFE", 2);
    out.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * 2));
}

// One start; milliseconds to the painted main window, or a negative value.
double StartOnce(const e2e::TempFolder& dir) {
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    e2e::Tool tool(dir.Path());
    if (!tool.WaitForMainWindow()) return -1;
    // WaitForInputIdle alone may return as soon as any thread of the tool
    // waits for messages, and the check's thread does: so the window must
    // also have nothing left to paint and its own thread must answer.
    const bool painted = e2e::WaitUntil(
        [&] {
            DWORD_PTR ignored = 0;
            return ::SendMessageTimeoutW(tool.Main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored) != 0 &&
                   !::GetUpdateRect(tool.Main(), nullptr, FALSE);
        },
        10000);
    if (!painted) return -1;
    ::QueryPerformanceCounter(&t1);
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    tool.WaitForExit();
    return 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 9;
    const bool control = argc > 2 && std::wstring(argv[2]) == L"--control";
    e2e::HttpTestServer silent(e2e::HttpTestServer::Mode::Silent);
    if (!silent.Started()) {
        std::fprintf(stderr, "no loopback server\n");
        return 1;
    }
    e2e::TempFolder off, on;
    off.InstallTool();
    on.InstallTool();
    WriteSettings(off, silent.Address(), 0);
    WriteSettings(on, silent.Address(), control ? 0 : 1);
    if (control) std::printf("control: both series start with UpdateTips=0\n");

    std::vector<double> offMs, onMs;
    for (int i = 0; i < runs; ++i) {
        // Which kind goes first alternates too: a start right after another
        // tool's exit pays for part of that exit.
        const auto first = std::make_tuple(&off, &offMs, "off"), second = std::make_tuple(&on, &onMs, "on ");
        for (auto [dir, ms, name] : i % 2 ? std::array{second, first} : std::array{first, second}) {
            const double t = StartOnce(*dir);
            if (t < 0) {
                std::fprintf(stderr, "run %d (%s): no main window\n", i + 1, name);
                return 1;
            }
            ms->push_back(t);
            std::printf("run %d UpdateTips %s: %.1f ms\n", i + 1, name, t);
        }
    }
    const double medOff = Median(offMs), medOn = Median(onMs);
    const double minOff = *std::min_element(offMs.begin(), offMs.end());
    const double minOn = *std::min_element(onMs.begin(), onMs.end());
    std::printf("UpdateTips=0: median of %d starts %.1f ms, fastest %.1f ms\n", runs, medOff, minOff);
    std::printf("UpdateTips=1, silent server: median %.1f ms (%+.1f %%), fastest %.1f ms (%+.1f %%)\n", medOn,
                100.0 * (medOn - medOff) / medOff, minOn, 100.0 * (minOn - minOff) / minOff);
    std::printf("connections the silent server accepted: %d\n", silent.Connections());
    return 0;
}
