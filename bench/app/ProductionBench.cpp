// The production view under load: the real tool runs a locked project on
// PORTS simulated COM ports (COM31 on) through its console programmer for
// SECONDS, while a thread of this process times round trips to the view
// (SendMessage WM_NULL to the window and WM_GETTEXT of a tile, as a screen
// reader asks). Prints the passed boards per hour (from units.csv) and the
// round trips' percentiles. Not a test: run-production-bench.sh runs it once
// with one port and once with eight.
//   production_bench PORTS SECONDS
#include "tests/e2e/ToolDriver.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace e2e;

namespace {

int RunIn(const std::wstring& folder, std::wstring command) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(), &si,
                          &pi))
        return -1;
    ::WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size())))];
}

int PassedRows(const std::wstring& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    int n = 0;
    for (std::size_t at = text.find(",Pass,"); at != std::string::npos; at = text.find(",Pass,", at + 1)) ++n;
    return n;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int ports = argc > 1 ? std::max(1, std::min(16, _wtoi(argv[1]))) : 8;
    const int seconds = argc > 2 ? std::max(10, _wtoi(argv[2])) : 90;
    TempFolder dir;
    dir.InstallTool();
    dir.InstallAs(L"Tarvel_CLI.exe", L"Tarvel_CLI.exe");
    std::vector<std::uint8_t> fw(65536);
    std::uint32_t x = 12345;
    for (auto& b : fw) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    dir.WriteBytes(L"fw64k.bin", fw);
    dir.WriteText(L"pw.txt", "bench\r\n");
    std::wstring list;
    for (int n = 0; n < ports; ++n) list += (n ? L"," : L"") + std::wstring(L"COM") + std::to_wstring(31 + n);
    if (RunIn(dir.Path(), L"\"" + dir.File(L"Tarvel_CLI.exe") +
                              L"\" project new --out line.tarvel --part T30C64 --flash fw64k.bin --baud 115200 "
                              L"--checkrate 9600 --serial-addr FFF0 --port " +
                              list + L" --lock-password-file pw.txt") != 0) {
        std::fprintf(stderr, "project new failed\n");
        return 1;
    }
    Tool tool(dir.Path(), L"Tarvel_AP.exe", L"\"" + dir.File(L"line.tarvel") + L"\"");
    if (!tool.WaitForMainWindow()) return 1;
    HWND view = nullptr;
    if (!WaitUntil([&] { return (view = ::FindWindowW(nullptr, L"Production - line")) != nullptr; })) {
        std::fprintf(stderr, "no production view\n");
        return 1;
    }
    const HWND tile = ::GetDlgItem(view, 1100);

    std::atomic<bool> done{false};
    std::vector<double> nullMs, textMs;
    std::thread probe([&] {
        LARGE_INTEGER f, a, b;
        ::QueryPerformanceFrequency(&f);
        wchar_t text[256];
        while (!done) {
            DWORD_PTR result = 0;
            ::QueryPerformanceCounter(&a);
            ::SendMessageTimeoutW(view, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            ::QueryPerformanceCounter(&b);
            nullMs.push_back(1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart));
            ::QueryPerformanceCounter(&a);
            ::SendMessageTimeoutW(tile, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &result);
            ::QueryPerformanceCounter(&b);
            textMs.push_back(1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart));
            ::Sleep(10);
        }
    });
    ::PostMessageW(view, WM_KEYDOWN, VK_RETURN, 0);
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    const int passed = PassedRows(dir.File(L"units.csv"));
    done = true;
    probe.join();
    ::PostMessageW(view, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitUntil([&] { return Tool::Text(::GetDlgItem(view, 1086)).find(L"ended") != std::wstring::npos; }, 60000);

    std::printf("%d port(s), %d s: %d boards passed -> %.1f boards/h\n", ports, seconds, passed,
                passed * 3600.0 / seconds);
    std::printf("  UI round trip WM_NULL    : %zu samples, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", nullMs.size(),
                Percentile(nullMs, 50), Percentile(nullMs, 99), Percentile(nullMs, 100));
    std::printf("  UI round trip WM_GETTEXT : %zu samples, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", textMs.size(),
                Percentile(textMs, 50), Percentile(textMs, 99), Percentile(textMs, 100));
    std::printf("RESULT %d %.1f %.2f %.2f\n", ports, passed * 3600.0 / seconds, Percentile(nullMs, 99),
                Percentile(textMs, 99));
    return 0;
}
