// The production view end to end: the real tool runs a three-port project
// through its console programmer on three COM ports, each with the native
// target simulator at the far end of a pty pair; the tiles and counters are
// read from this process with WM_GETTEXT, as a screen reader reads them.
// Run through run-production-e2e.sh, which sets up the ports.
#include "image/Crc32.h"
#include "tests/e2e/LinkFixture.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace e2e;

namespace {

constexpr int kStart = 1080, kStop = 1081, kReset = 1082, kCounters = 1084, kStatus = 1086, kTile0 = 1100;
constexpr UINT kProductionViewCommand = 0x0090;
const int kPorts[] = {31, 32, 33};

std::wstring ArgValue(const std::wstring& prefix) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring value;
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg.compare(0, prefix.size(), prefix) == 0) value = arg.substr(prefix.size());
    }
    ::LocalFree(argv);
    return value;
}

std::wstring SimFolder(int com) { return ArgValue(L"--sim" + std::to_wstring(com) + L"=") + L"\\"; }

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// Gives a simulator its scenario and waits until it has taken it.
void SimScenario(int com, const std::string& options) {
    static unsigned nonce = 2000;
    const std::string text = options + " --serial " + std::to_string(++nonce) + "\n";
    const std::wstring folder = SimFolder(com);
    {
        HANDLE h = ::CreateFileW((folder + L"control.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD wrote = 0;
        ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
        ::CloseHandle(h);
    }
    ASSERT_TRUE(WaitUntil(
        [&] {
            const Bytes ack = ReadFileBytes(folder + L"control.txt.ack");
            return std::string(ack.begin(), ack.end()) == text;
        },
        10000))
        << "the simulator of COM" << com << " did not take the scenario";
}

std::vector<std::vector<std::string>> CsvRows(const Bytes& bytes) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == ',') fields.emplace_back();
            else fields.back() += c;
        }
        rows.push_back(fields);
    }
    return rows;
}

// Runs a program in the tool's folder and waits for its end; its exit code.
int RunIn(const std::wstring& folder, const std::wstring& commandLine) {
    std::wstring command = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(), &si,
                          &pi))
        return -1;
    ::WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// Processes of the console programmer (the view's child and its workers).
int ProgrammersRunning() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, L"Tarvel_CLI.exe") == 0) ++n;
    ::CloseHandle(snapshot);
    return n;
}

Bytes Firmware() {
    Bytes fw(6000);
    for (std::size_t i = 0; i < fw.size(); ++i) fw[i] = static_cast<std::uint8_t>((i * 37 + 11) & 0xFF);
    return fw;
}

class ProductionE2e : public ToolFixture {
protected:
    void SetUp() override {
        if (ArgValue(L"--sim31=").empty()) GTEST_SKIP() << "run through run-production-e2e.sh";
    }

    // A locked project of the three ports with the serial numbers given.
    void MakeProject(const std::string& serialOptions) {
        dir.InstallTool();
        dir.InstallAs(L"Tarvel_CLI.exe", L"Tarvel_CLI.exe");
        WriteLibrarySettings("");
        dir.WriteBytes(L"fw.bin", Firmware());
        dir.WriteText(L"pw.txt", "line secret\r\n");
        const std::wstring command = L"\"" + dir.File(L"Tarvel_CLI.exe") +
                                     L"\" project new --out line1.tarvel --part T30C64 --flash fw.bin "
                                     L"--serial-addr 100 " +
                                     std::wstring(serialOptions.begin(), serialOptions.end()) +
                                     L" --port COM31,COM32,COM33 --lock-password-file pw.txt";
        ASSERT_EQ(RunIn(dir.Path(), command), 0);
    }

    // The tool with the project on its command line: a locked project with
    // ports opens the production view at once.
    void StartWithProject() {
        const int k = PartIndex(L"T30C64");
        dir.WriteText(L"Setting.ini", "[Setting]\r\nLastPartNo=" + std::to_string(k) + "\r\n");
        tool = std::make_unique<Tool>(dir.Path(), L"Tarvel_AP.exe", L"\"" + dir.File(L"line1.tarvel") + L"\"");
        ASSERT_TRUE(tool->Started());
        ASSERT_TRUE(tool->WaitForMainWindow());
        ASSERT_TRUE(WaitForView());
    }

    bool WaitForView() {
        return WaitUntil([&] { return (view = ::FindWindowW(nullptr, L"Production - line1")) != nullptr; });
    }
    std::wstring TileText(int i) const { return Tool::Text(::GetDlgItem(view, kTile0 + i)); }
    std::wstring Counters() const { return Tool::Text(::GetDlgItem(view, kCounters)); }
    std::wstring Status() const { return Tool::Text(::GetDlgItem(view, kStatus)); }
    void Click(int id) const { ::PostMessageW(::GetDlgItem(view, id), BM_CLICK, 0, 0); }
    void Key(WPARAM key) const { ::PostMessageW(view, WM_KEYDOWN, key, 0); }
    bool Ended() {
        return WaitUntil([&] { return Status().find(L"The programmer ended") != std::wstring::npos; }, 60000);
    }
    std::vector<std::vector<std::string>> Units() const { return CsvRows(ReadFileBytes(dir.File(L"units.csv"))); }

    HWND view = nullptr;
};

// Nine boards over three ports with the nine numbers of the project's list:
// every tile ends PASS with its last number, the counters read 9/0/9, and
// units.csv holds nine records, each with its own number and the CRC-32 of
// the image with that number in it. The counters are kept when the tool
// starts again, and the button resets them after asking.
TEST_F(ProductionE2e, NineBoardsOverThreePortsEveryTilePassesAndTheUnitsAreRecorded) {
    std::string list;
    for (int n = 7001; n <= 7009; ++n) list += std::to_string(n) + "\r\n";
    dir.WriteText(L"serials.txt", list);
    MakeProject("--serial-list serials.txt --serial-state line1.state");
    for (int n : kPorts) SimScenario(n, "--part T30C64 --pace 0 --repeat-delay-ms 600");
    StartWithProject();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(TileText(i), L"COM3" + std::to_wstring(i + 1) + L" Ready");
    Key(VK_RETURN);
    // The list runs out after nine boards, and the programmer ends.
    ASSERT_TRUE(Ended()) << Narrow(Status());
    EXPECT_EQ(Counters(), L"Passed 9, Failed 0, Total 9");
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(TileText(i).rfind(L"COM3" + std::to_wstring(i + 1) + L" PASS 70", 0), 0u) << Narrow(TileText(i));
    }

    const auto rows = Units();
    ASSERT_EQ(rows.size(), 10u);
    ASSERT_EQ(rows[0][6], "serial");
    ASSERT_EQ(rows[0][7], "image_crc32");
    std::set<std::string> serials;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(rows[i].size(), 10u);
        EXPECT_EQ(rows[i][3], "line1");
        EXPECT_EQ(rows[i][4].size(), 64u);
        EXPECT_EQ(rows[i][8], "Pass");
        serials.insert(rows[i][6]);
        Bytes image = Firmware();
        const std::uint32_t serial = static_cast<std::uint32_t>(std::stoul(rows[i][6]));
        for (int b = 0; b < 4; ++b) image[0x100 + b] = static_cast<std::uint8_t>(serial >> (8 * b));
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(image::Crc32(image.data(), image.size())));
        EXPECT_EQ(rows[i][7], crc);
    }
    EXPECT_EQ(serials.size(), 9u);
    EXPECT_EQ(*serials.begin(), "7001");
    EXPECT_EQ(*serials.rbegin(), "7009");

    // The tool again: the counters come from the unit records.
    tool->Click(kExit);
    ASSERT_EQ(tool->WaitForExit(20000), 0);
    tool.reset();
    StartWithProject();
    EXPECT_TRUE(WaitUntil([&] { return Counters() == L"Passed 9, Failed 0, Total 9"; })) << Narrow(Counters());
    Click(kReset);
    HWND ask = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        ask = ::FindWindowW(L"#32770", L"Reset counters");
        return ask != nullptr;
    }));
    ::PostMessageW(::GetDlgItem(ask, IDYES), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return Counters() == L"Passed 0, Failed 0, Total 0"; })) << Narrow(Counters());
    const auto after = Units();
    ASSERT_EQ(after.size(), 11u);
    EXPECT_EQ(after.back()[8], "Counters reset");
    EXPECT_EQ(after.back()[3], "line1");
}

// A target that fails on one port shows FAIL with the reason on that tile
// only, while the other ports go on; Esc during the boards stops every port
// and the programmer ends with every worker.
TEST_F(ProductionE2e, FailingTargetShowsOnItsTileOnlyAndEscStopsTheRun) {
    MakeProject("--serial-start 500");
    SimScenario(31, "--part T30C64 --pace 0 --repeat-delay-ms 400");
    SimScenario(32, "--part T30C64 --pace 0 --repeat-delay-ms 400 --fail erase");
    SimScenario(33, "--part T30C64 --pace 0 --repeat-delay-ms 400");
    StartWithProject();
    Key(VK_SPACE);
    const auto shows = [&](int i, const wchar_t* state) {
        return TileText(i).find(std::wstring(L" ") + state) != std::wstring::npos;
    };
    ASSERT_TRUE(WaitUntil([&] { return shows(0, L"PASS") && shows(1, L"FAIL") && shows(2, L"PASS"); }, 60000))
        << Narrow(TileText(0) + L" | " + TileText(1) + L" | " + TileText(2));
    EXPECT_NE(TileText(1).find(L": Erase"), std::wstring::npos) << Narrow(TileText(1));
    Key(VK_ESCAPE);
    ASSERT_TRUE(Ended()) << Narrow(Status());
    // A failed board outweighs the stop in the programmer's exit code.
    EXPECT_NE(Status().find(L"exit code 1"), std::wstring::npos) << Narrow(Status());
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(view, kStart)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(view, kStop)));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(TileText(i).find(L"Programming"), std::wstring::npos) << Narrow(TileText(i));
    // The record: COM32's boards failed, the others' passed.
    std::map<std::string, std::set<std::string>> outcomes;
    for (const auto& row : Units())
        if (row.size() == 10 && row[5] != "port") outcomes[row[5]].insert(row[8]);
    EXPECT_EQ(outcomes["COM31"].count("Pass"), 1u);
    EXPECT_EQ(outcomes["COM33"].count("Pass"), 1u);
    EXPECT_EQ(outcomes["COM32"].count("Pass"), 0u);
    // The counters are the file's.
    std::uint64_t passed = 0, failed = 0;
    for (const auto& row : Units()) {
        if (row.size() != 10 || row[5] == "port" || row[8] == "Stop") continue;
        (row[8] == "Pass" ? passed : failed)++;
    }
    EXPECT_EQ(Counters(), L"Passed " + std::to_wstring(passed) + L", Failed " + std::to_wstring(failed) + L", Total " +
                              std::to_wstring(passed + failed));

    // Closed in the middle of a run: the view stops the ports, goes once
    // the programmer has ended, and no programmer or worker is left.
    Key(VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return TileText(0).find(L"Programming") != std::wstring::npos; }, 30000))
        << Narrow(TileText(0));
    ::PostMessageW(view, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(view); }, 30000));
    EXPECT_TRUE(WaitUntil([] { return ProgrammersRunning() == 0; }, 10000)) << ProgrammersRunning();
}

// A port pulled during a board: its tile says so while the other ports go
// on; once the port is back, Start takes it again.
TEST_F(ProductionE2e, PulledPortShowsOnItsTileAndStartTakesItAgainOnceItIsBack) {
    MakeProject("--serial-start 800");
    // Paced at the line rate, so that a board lasts long enough to be pulled.
    for (int n : kPorts) SimScenario(n, "--part T30C64 --repeat-delay-ms 400");
    StartWithProject();
    Key(VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return TileText(2).find(L"Programming") != std::wstring::npos; }, 30000))
        << Narrow(TileText(2));
    dir.WriteText(L"pull-flag", "");
    ASSERT_TRUE(::CopyFileW(dir.File(L"pull-flag").c_str(), (SimFolder(33) + L"pull").c_str(), FALSE));
    ASSERT_TRUE(WaitUntil([&] { return TileText(2).find(L"Port lost") != std::wstring::npos; }, 30000))
        << Narrow(TileText(2));
    // The other ports go on: each passes boards after the pull.
    const auto passesOn = [&](const std::string& port) {
        std::size_t n = 0;
        for (const auto& row : Units())
            if (row.size() == 10 && row[5] == port && row[8] == "Pass") ++n;
        return n;
    };
    const std::size_t com31 = passesOn("COM31"), com32 = passesOn("COM32");
    EXPECT_TRUE(WaitUntil([&] { return passesOn("COM31") > com31 && passesOn("COM32") > com32; }, 60000));
    EXPECT_NE(TileText(2).find(L"Port lost"), std::wstring::npos) << Narrow(TileText(2));

    // Plugged in again: Start takes the port again, and it programs boards.
    const std::size_t com33 = passesOn("COM33");
    ASSERT_TRUE(::CopyFileW(dir.File(L"pull-flag").c_str(), (SimFolder(33) + L"back").c_str(), FALSE));
    EXPECT_TRUE(WaitUntil(
        [&] {
            if (TileText(2).find(L"Port lost") != std::wstring::npos) Key(VK_RETURN);
            return passesOn("COM33") > com33;
        },
        60000))
        << Narrow(TileText(2) + L" | " + Status());
    Key(VK_ESCAPE);
    ASSERT_TRUE(Ended()) << Narrow(Status());
}

}  // namespace
