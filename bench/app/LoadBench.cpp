// Loading the largest image the parts table allows through the real tool:
// the time from the insert-area dialog's OK to the "Pass" line, against the
// image core's parse of the same file alone, in the same run; and the tool's
// peak working set during the load against the file size plus the image size.
//   load_bench.exe FILE.hex [RUNS]
#include "bench/app/BenchClock.h"
#include "image/IntelHex.h"
#include "isp/IspRecords.h"
#include "tests/e2e/ToolDriver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: load_bench FILE.hex [RUNS]\n");
        return 2;
    }
    const std::wstring hexPath = argv[1];
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;

    // The part with the largest Flash.
    HMODULE dll = ::LoadLibraryW((e2e::BinFolder() + L"Tarvel_DLL.dll").c_str());
    auto get =
        dll ? reinterpret_cast<GetBodyInfoFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "GetBodyInfo"))) : nullptr;
    isp::BodyInfo* table = nullptr;
    const std::uint32_t count = get ? get(&table) : 0;
    std::uint32_t best = 0;
    for (std::uint32_t k = 1; k < count; ++k)
        if (table[k].CodeCapacity > table[best].CodeCapacity) best = k;
    if (count == 0) return 1;
    const std::uint32_t capacity = table[best].CodeCapacity;

    const std::vector<std::uint8_t> text = e2e::ReadFileBytes(hexPath);
    std::printf("part %ls, Flash %u bytes; file %zu bytes\n", table[best].PartName, capacity, text.size());

    e2e::TempFolder dir;
    dir.InstallTool();
    dir.WriteText(L"Setting.ini", "[Setting]\r\nLastPartNo=" + std::to_string(best) + "\r\n");
    std::vector<double> loadMs, parseMs, extraMb;
    std::size_t imageSize = 0;
    for (int run = 0; run < runs; ++run) {
        const double p0 = NowMs();
        const image::ImageResult parsed = image::ParseIntelHex(text.data(), text.size(), capacity);
        parseMs.push_back(NowMs() - p0);
        imageSize = parsed.bytes.size();

        e2e::Tool tool(dir.Path());
        if (!tool.WaitForMainWindow()) return 1;
        HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, [&] {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(tool.Main(), &pid);
            return pid;
        }());
        tool.Click(1037);
        if (!tool.ChooseFile(hexPath)) return 1;
        HWND area = tool.WaitForDialogWith(1051);
        if (!area) return 1;
        PROCESS_MEMORY_COUNTERS before{};
        ::GetProcessMemoryInfo(process, &before, sizeof before);
        const double t0 = NowMs();
        ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
        while (tool.Log().find(L"Pass") == std::wstring::npos) {
            if (NowMs() - t0 > 60000) return 1;
            ::Sleep(1);
        }
        loadMs.push_back(NowMs() - t0);
        PROCESS_MEMORY_COUNTERS after{};
        ::GetProcessMemoryInfo(process, &after, sizeof after);
        extraMb.push_back(static_cast<double>(after.PeakWorkingSetSize - before.WorkingSetSize) / 1048576.0);
        ::CloseHandle(process);
        std::printf("run %d: OK to Pass %.1f ms, parse alone %.1f ms, peak working set +%.1f MiB\n", run + 1,
                    loadMs.back(), parseMs.back(), extraMb.back());
        ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
        tool.WaitForExit();
    }
    const double load = Median(loadMs), parse = Median(parseMs);
    const double fileMb = static_cast<double>(text.size()) / 1048576.0;
    const double imageMb = static_cast<double>(imageSize) / 1048576.0;
    std::printf("median of %d: load %.1f ms, parse %.1f ms: the window adds %.0f %% to the parse\n", runs, load, parse,
                100.0 * (load - parse) / parse);
    std::printf(
        "peak working set during the load: +%.1f MiB for a %.1f MiB file and a %.1f MiB image "
        "(%.2f images beyond the file)\n",
        Median(extraMb), fileMb, imageMb, (Median(extraMb) - fileMb) / imageMb);
    return 0;
}
