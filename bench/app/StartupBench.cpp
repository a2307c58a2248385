// Start-up time of Tarvel_AP.exe to a painted main window: starts the tool
// repeatedly in a folder of its own and measures from CreateProcess until
// the main window is visible and the tool's UI thread has gone idle (its
// first paint done), then closes it. Prints every run and the median.
#include "tests/e2e/ToolDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 7;
    e2e::TempFolder dir;
    dir.InstallTool();
    std::vector<double> ms;
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    for (int i = 0; i < runs; ++i) {
        ::QueryPerformanceCounter(&t0);
        e2e::Tool tool(dir.Path());
        if (!tool.WaitForMainWindow()) {
            std::fprintf(stderr, "run %d: no main window\n", i + 1);
            return 1;
        }
        ::QueryPerformanceCounter(&t1);
        ms.push_back(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart));
        std::printf("run %d: %.1f ms\n", i + 1, ms.back());
        ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
        tool.WaitForExit();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("median of %d starts: %.1f ms (min %.1f, max %.1f)\n", runs, ms[ms.size() / 2], ms.front(), ms.back());
    return 0;
}
