// Programming jobs of the real tool, driven from this process:
//   job_bench responsiveness SECONDS  round trips of WM_NULL to the main window
//                                     every 10 ms during a Repeat Update
//   job_bench stop COUNT              click-to-"Stop" latency at random moments
//   job_bench cpu SECONDS             the tool's CPU while no target appears
//   job_bench program                 64 KiB at 115200 through the paced adapter
//   job_bench soak BOARDS [COMn]      one Repeat Update over BOARDS boards on a
//                                     COM port (the simulator, see the script):
//                                     handles, GDI and USER objects and private
//                                     memory after board 10 and after the last
// Each mode prints its figures; none of them is a test.
#include "bench/app/BenchClock.h"
#include "isp/IspRecords.h"
#include "tests/e2e/ToolDriver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kCheckList = 1016, kUpdate = 1034, kRepeat = 1035, kLoadFile = 1037, kOpenPort = 1068,
              kClearMessage = 1053, kPartList = 1017, kPortList = 1014, kBaudList = 1015, kExit = 2;

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

int PartIndex(const wchar_t* name) {
    HMODULE dll = ::LoadLibraryW((e2e::BinFolder() + L"Tarvel_DLL.dll").c_str());
    auto get =
        dll ? reinterpret_cast<GetBodyInfoFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "GetBodyInfo"))) : nullptr;
    isp::BodyInfo* table = nullptr;
    const std::uint32_t n = get ? get(&table) : 0;
    for (std::uint32_t k = 0; k < n; ++k)
        if (table[k].PartName && std::wstring(table[k].PartName) == name) return static_cast<int>(k);
    return -1;
}

void Choose(const e2e::Tool& tool, int list, const std::wstring& text) {
    const auto items = tool.ComboItems(list);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) tool.ChooseComboItem(list, static_cast<int>(i));
}

// The tool in a folder of its own with the adapter settings given, a part,
// a file of `size` bytes in Flash and the port open.
struct Bench {
    e2e::TempFolder dir;
    std::unique_ptr<e2e::Tool> tool;
    DWORD pid = 0;

    bool Start(const char* adapterKeys, const wchar_t* part, size_t size, const wchar_t* port = L"KV707",
               const wchar_t* baud = L"115200") {
        dir.InstallTool();
        dir.WriteText(L"Tarvel_DLL.ini", std::string("[Adapter]\r\n") + adapterKeys);
        dir.WriteText(L"Setting.ini", "[Setting]\r\nLastPartNo=" + std::to_string(PartIndex(part)) + "\r\n");
        std::vector<std::uint8_t> image(size);
        for (size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
        dir.WriteBytes(L"fw.bin", image);
        tool = std::make_unique<e2e::Tool>(dir.Path());
        if (!tool->WaitForMainWindow()) return false;
        ::GetWindowThreadProcessId(tool->Main(), &pid);
        tool->Click(kLoadFile);
        if (!tool->ChooseFile(dir.File(L"fw.bin"))) return false;
        HWND area = tool->WaitForDialogWith(1051);
        if (!area) return false;
        ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
        if (!tool->WaitForLogLines(1)) return false;
        Choose(*tool, kPortList, port);
        Choose(*tool, kBaudList, baud);
        // The fastest handshake rate both link kinds offer.
        Choose(*tool, kCheckList, L"9600");
        tool->Click(kOpenPort);
        if (!tool->WaitForLogLines(2) || tool->Log().find(L"Open Port =>Pass") == std::wstring::npos) return false;
        tool->Click(kClearMessage);
        return e2e::WaitUntil([&] { return tool->Log().empty(); }, 5000);
    }
    bool Idle() const {
        return e2e::WaitUntil(
            [&] {
                return tool->ItemEnabled(kExit) && tool->ItemText(kUpdate) == L"Update Target" &&
                       tool->ItemText(kRepeat) == L"Repeat Update";
            },
            30000);
    }
    ~Bench() {
        if (tool && tool->Main()) {
            ::PostMessageW(tool->Main(), WM_CLOSE, 0, 0);
            tool->WaitForExit(10000);
        }
    }
};

int Responsiveness(int seconds) {
    Bench b;
    if (!b.Start("pace=1\r\nrepeat-delay-ms=300\r\n", L"T10N4", 4096, L"KV707", L"Auto")) return 1;
    b.tool->Click(kRepeat);
    std::vector<double> rtt;
    const double end = NowMs() + seconds * 1000.0;
    while (NowMs() < end) {
        const double t0 = NowMs();
        DWORD_PTR r = 0;
        ::SendMessageTimeoutW(b.tool->Main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
        rtt.push_back(NowMs() - t0);
        ::Sleep(10);
    }
    b.tool->Click(kRepeat);
    b.Idle();
    const std::wstring log = b.tool->Log();
    int boards = 0;
    for (auto at = log.find(L"=>Pass"); at != std::wstring::npos; at = log.find(L"=>Pass", at + 1)) ++boards;
    std::printf(
        "WM_NULL round trips during %d s of Repeat Update (%zu samples, %d+ boards): median %.3f ms, "
        "p99 %.3f ms, max %.3f ms\n",
        seconds, rtt.size(), boards, Percentile(rtt, 0.5), Percentile(rtt, 0.99), Percentile(rtt, 1.0));
    return 0;
}

int StopLatency(int count) {
    // The target is seated after 400 ms and 16 KiB take about 1.2 s at
    // 115200: a random moment falls into the wait or the transfer. A run
    // that ends before its moment comes is not stopped (and not counted).
    Bench b;
    if (!b.Start("pace=1\r\nappear-ms=400\r\nrepeat-delay-ms=400\r\n", L"T30C64", 16 * 1024)) return 1;
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> moment(0, 1500);
    std::vector<double> latency;
    int stops = 0, restored = 0, attempts = 0;
    for (int i = 0; i < count; ++attempts) {
        b.tool->Click(kClearMessage);
        e2e::WaitUntil([&] { return b.tool->Log().empty(); }, 5000);
        b.tool->Click(kUpdate);
        e2e::WaitUntil([&] { return b.tool->ItemText(kUpdate) == L"Stop"; }, 5000);
        ::Sleep(static_cast<DWORD>(moment(rng)));
        if (b.tool->ItemText(kUpdate) != L"Stop" || e2e::CountLogLines(b.tool->Log()) != 0) {
            b.Idle();
            continue;
        }
        ++i;
        const double t0 = NowMs();
        b.tool->Click(kUpdate);
        while (e2e::CountLogLines(b.tool->Log()) == 0 && NowMs() - t0 < 10000) ::Sleep(1);
        const double dt = NowMs() - t0;
        const std::wstring log = b.tool->Log();
        if (log.find(L"=>Stop") != std::wstring::npos) {
            ++stops;
            latency.push_back(dt);
        } else {
            std::printf("run %d ended otherwise: %ls", i + 1, log.c_str());
        }
        if (b.Idle()) ++restored;
    }
    std::printf(
        "%d stops (%d runs, the others ended before their moment): %d ended in \"Stop\", %d with the "
        "controls restored; click to Stop line: median %.1f ms, p99 %.1f ms, max %.1f ms\n",
        count, attempts, stops, restored, Percentile(latency, 0.5), Percentile(latency, 0.99),
        Percentile(latency, 1.0));
    return 0;
}

int CpuWhileWaiting(int seconds) {
    Bench b;
    if (!b.Start("pace=1\r\nnever\r\n", L"T30C64", 4096)) return 1;
    b.tool->Click(kUpdate);
    e2e::WaitUntil([&] { return b.tool->ItemText(kUpdate) == L"Stop"; }, 5000);
    const double c0 = b.tool->CpuMs(), t0 = NowMs();
    std::printf("CPU so far (start-up, load, open): %.0f ms\n", c0);
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    const double cpu = b.tool->CpuMs() - c0, wall = NowMs() - t0;
    b.tool->Click(kUpdate);
    b.Idle();
    std::printf("waiting %.1f s for a target that never appears: %.0f ms of CPU, %.2f %% of one core\n", wall / 1000.0,
                cpu, 100.0 * cpu / wall);
    return 0;
}

double LastElapsed(const std::wstring& log) {
    const auto at = log.rfind(L"   [");
    return at == std::wstring::npos ? -1 : _wtof(log.c_str() + at + 4);
}

int Program(const wchar_t* port) {
    Bench b;
    if (!b.Start("pace=1\r\n", L"T30C64", 64 * 1024, port)) return 1;
    b.tool->Click(kUpdate);
    if (!b.tool->WaitForLogLines(1, 60000)) return 1;
    const double s = LastElapsed(b.tool->Log());
    const double limit = 65536.0 / 11520.0;
    std::printf("64 KiB at 115200 through %ls: %ls", port, b.tool->Log().c_str());
    std::printf("  %.3f s against the line-rate limit %.3f s: %.1f %% above it\n", s, limit,
                100.0 * (s - limit) / limit);
    return 0;
}

struct Resources {
    DWORD handles = 0, gdi = 0, user = 0;
    SIZE_T committed = 0;
};

Resources Measure(const e2e::Tool& tool) {
    Resources r;
    r.handles = tool.HandleCount();
    r.committed = tool.CommittedBytes();
    tool.GuiObjects(&r.gdi, &r.user);
    return r;
}

// Boards passed so far, from the log (cleared every hundred headings: the
// heading's number counts on).
int BoardsPassed(const std::wstring& log) {
    const auto at = log.rfind(L" - Repeat Update =>Pass");
    if (at == std::wstring::npos) return 0;
    const auto start = log.rfind(L'\n', at);
    return _wtoi(log.c_str() + (start == std::wstring::npos ? 0 : start + 1)) + 1;
}

int Soak(int boards, const wchar_t* port) {
    Bench b;
    if (!b.Start("pace=0\r\n", L"T30C64", 4096, port, L"Auto")) return 1;
    b.tool->Click(kRepeat);
    Resources at10{}, atEnd{};
    const double t0 = NowMs();
    while (BoardsPassed(b.tool->Log()) < 10 && NowMs() - t0 < 120000) ::Sleep(20);
    at10 = Measure(*b.tool);
    while (BoardsPassed(b.tool->Log()) < boards && NowMs() - t0 < 3600000) {
        if (b.tool->ItemText(kRepeat) != L"Stop") break;  // a board failed
        ::Sleep(50);
    }
    atEnd = Measure(*b.tool);
    const int passed = BoardsPassed(b.tool->Log());
    b.tool->Click(kRepeat);
    b.Idle();
    std::printf("%d boards passed in %.0f s (each verified by the target's CRC-32 of the image)\n", passed,
                (NowMs() - t0) / 1000.0);
    std::printf("after board 10:  handles %lu, GDI %lu, USER %lu, committed %.2f MiB\n", at10.handles, at10.gdi,
                at10.user, static_cast<double>(at10.committed) / 1048576.0);
    std::printf("after board %d: handles %lu, GDI %lu, USER %lu, committed %.2f MiB\n", passed, atEnd.handles,
                atEnd.gdi, atEnd.user, static_cast<double>(atEnd.committed) / 1048576.0);
    return passed >= boards ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    const int n = argc > 2 ? _wtoi(argv[2]) : 0;
    if (mode == L"responsiveness") return Responsiveness(n > 0 ? n : 60);
    if (mode == L"stop") return StopLatency(n > 0 ? n : 50);
    if (mode == L"cpu") return CpuWhileWaiting(n > 0 ? n : 10);
    if (mode == L"program") return Program(argc > 2 ? argv[2] : L"KV707");
    if (mode == L"soak") return Soak(n > 0 ? n : 1000, argc > 3 ? argv[3] : L"COM9");
    std::fprintf(stderr, "usage: job_bench responsiveness|stop|cpu|program|soak [N] [PORT]\n");
    return 2;
}
