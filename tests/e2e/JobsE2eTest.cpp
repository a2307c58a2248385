// End-to-end: "Update Target", "Repeat Update" and "Dump Info" over the
// adapter built into the stand-in library, whose target is set up through
// Tarvel_DLL.ini, with the real Tarvel_AP.exe driven from this process.
#include "image/Crc32.h"
#include "tests/e2e/LinkFixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace e2e;

namespace {

const wchar_t kPrompt[] = L"Please repower on DUT";

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

class JobsE2e : public ToolFixture {
protected:
    // Part, adapter scenario, a small file in Flash, the port open.
    void Ready(const std::wstring& part, const std::string& adapterKeys, bool withFile = true,
               const wchar_t* baud = nullptr) {
        Start(part, adapterKeys);
        if (withFile) {
            dir.WriteBytes(L"fw.bin", Bytes{1, 2, 3, 4, 5, 6, 7, 8});
            LoadFlash(dir.File(L"fw.bin"));
            ASSERT_TRUE(tool->WaitForLogLines(1));
        }
        // A fixed download rate rather than "Auto", which the library would
        // bring down to what the target takes.
        const auto rates = tool->ComboItems(kBaudList);
        for (size_t i = 0; baud && i < rates.size(); ++i)
            if (rates[i] == baud) tool->ChooseComboItem(kBaudList, static_cast<int>(i));
        tool->Click(kOpenPort);
        ASSERT_TRUE(tool->WaitForLogLines(withFile ? 2 : 1));
        ASSERT_NE(tool->Log().find(L"Open Port =>Pass"), std::wstring::npos) << tool->Log();
        tool->Click(kClearMessage);
        ASSERT_TRUE(WaitUntil([&] { return tool->Log().empty(); }, 5000));
    }
    bool LogHas(const std::wstring& text, DWORD timeoutMs = 20000) const {
        return WaitUntil([&] { return tool->Log().find(text) != std::wstring::npos; }, timeoutMs);
    }
    int Count(const std::wstring& text) const {
        const std::wstring log = tool->Log();
        int n = 0;
        for (auto at = log.find(text); at != std::wstring::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    // The job has given the window back: the buttons carry their captions.
    bool Idle() const {
        return WaitUntil([&] {
            return tool->ItemText(kUpdate) == L"Update Target" && tool->ItemText(kRepeat) == L"Repeat Update" &&
                   tool->ItemText(kDumpInfo) == L"Dump Info" && Enabled(kExit);
        });
    }
};

TEST_F(JobsE2e, UpdateTargetWaitsForTheTargetWithABlinkingPromptThenPassesAndGivesTheControlsBack) {
    Ready(L"T30C64", "appear-ms=1500\r\n");
    tool->Click(kUpdate);
    ASSERT_TRUE(WaitUntil([&] { return tool->ItemText(kUpdate) == L"Stop"; }));
    EXPECT_TRUE(Enabled(kUpdate));
    for (int id : {kRepeat, kDumpInfo, kExit, kLoadFile, kClosePort, kFamilyList, kPartList, kClearMessage, kAutoReload,
                   kEraseBySize, kEnableModify, kOption0})
        EXPECT_FALSE(Enabled(id)) << id;
    // The prompt comes and goes while the target is away.
    ASSERT_TRUE(LogHas(kPrompt));
    EXPECT_TRUE(WaitUntil([&] { return tool->Log().find(kPrompt) == std::wstring::npos; }, 2000));
    ASSERT_TRUE(LogHas(L"000 - Update Target =>Pass   [")) << tool->Log();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(CountLogLines(tool->Log()), 1);
    EXPECT_EQ(tool->Log().find(kPrompt), std::wstring::npos);
    for (int id : {kUpdate, kRepeat, kDumpInfo, kLoadFile, kClosePort, kFamilyList, kPartList, kOption0})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(kOpenPort));
    EXPECT_FALSE(Enabled(kPortList));
}

TEST_F(JobsE2e, RepeatUpdateProgramsBoardAfterBoardClearsTheLogAtAHundredAndStops) {
    Ready(L"T10N4", "");
    tool->Click(kRepeat);
    ASSERT_TRUE(WaitUntil([&] { return tool->ItemText(kRepeat) == L"Stop"; }));
    EXPECT_FALSE(Enabled(kUpdate));
    // The log is cleared before the heading numbered 100, which then opens it.
    ASSERT_TRUE(WaitUntil([&] { return tool->Log().rfind(L"100 - Repeat Update =>", 0) == 0; }, 60000))
        << tool->Log().substr(0, 300);
    // A board of the new hundred passes before the Stop (on a busy machine
    // a Stop clicked at once would end board 100 itself).
    ASSERT_TRUE(WaitUntil([&] { return Count(L"Repeat Update =>Pass   [") >= 1; }, 60000)) << tool->Log();
    tool->Click(kRepeat);
    ASSERT_TRUE(Idle());
    const std::wstring log = tool->Log();
    EXPECT_NE(log.find(L"Repeat Update =>Stop   ["), std::wstring::npos) << log;
    EXPECT_EQ(log.find(L"099 -"), std::wstring::npos);
    EXPECT_GE(Count(L"Repeat Update =>Pass   ["), 1);
    EXPECT_TRUE(Enabled(kUpdate));
    EXPECT_TRUE(Enabled(kRepeat));
}

TEST_F(JobsE2e, ARepeatJobStartsOnAnEmptyLogAndAStopClickedTwiceEndsOneJob) {
    Ready(L"T30C64", "never\r\n");
    tool->Click(kClearMessage);
    tool->Click(kRepeat);
    ASSERT_TRUE(LogHas(kPrompt));
    EXPECT_EQ(tool->Log().rfind(L"000 - Repeat Update =>", 0), 0u) << tool->Log();
    tool->Click(kRepeat);
    tool->Click(kRepeat);
    ASSERT_TRUE(LogHas(L"000 - Repeat Update =>Stop   ["));
    ASSERT_TRUE(Idle());
    // No second job came of the second click.
    EXPECT_FALSE(WaitUntil([&] { return CountLogLines(tool->Log()) > 1; }, 1500)) << tool->Log();
    EXPECT_EQ(tool->Log().find(kPrompt), std::wstring::npos);
}

TEST_F(JobsE2e, FailingRunsLogTheTextOfTheirCodeOrNone) {
    struct Row {
        const wchar_t* part;
        const char* keys;
        int button;
        const wchar_t* line;
    };
    const Row rows[] = {
        {L"T30C64", "fail=erase\r\n", kUpdate, L"000 - Update Target =>Erase error   ["},
        // The target stops answering halfway through programming.
        {L"T30C64", "fail=silent\r\nfail-offset=4\r\n", kUpdate, L"000 - Update Target =>Not find device   ["},
        {L"T30C64", "customer-id=0x1234\r\n", kUpdate, L"000 - Update Target =>CustomerID error   ["},
        {L"T30C64", "max-baud=9600\r\n", kUpdate, L"000 - Update Target =>BaudRate too large   ["},
        // The same code after a dump has no text.
        {L"TV8051A16", "max-baud=9600\r\n", kDumpInfo, L"000 - Dump Info =>   ["},
        {L"TV8051A16", "fail=readinfo\r\n", kDumpInfo, L"000 - Dump Info =>Fail   ["},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        Ready(row.part, row.keys, true, L"115200");
        tool->Click(row.button);
        ASSERT_TRUE(LogHas(row.line)) << tool->Log();
        ASSERT_TRUE(Idle());
        TearDown();
    }
}

TEST_F(JobsE2e, AStopWhileProgrammingEndsTheRunWithStopAndHidesTheProgressBar) {
    Start(L"T30C64", "pace=1\r\n");
    dir.WriteBytes(L"big.bin", Bytes(48 * 1024, 0x3C));
    LoadFlash(dir.File(L"big.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(1));
    tool->Click(kOpenPort);
    ASSERT_TRUE(tool->WaitForLogLines(2));
    tool->Click(kUpdate);
    HWND progress = ::GetDlgItem(tool->Main(), kProgress);
    ASSERT_TRUE(
        WaitUntil([&] { return ::IsWindowVisible(progress) && ::SendMessageW(progress, PBM_GETPOS, 0, 0) > 10; }));
    tool->Click(kUpdate);
    ASSERT_TRUE(WaitUntil([&] { return tool->Log().find(L"002 - Update Target =>Stop   [") != std::wstring::npos; }));
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(::IsWindowVisible(progress));
}

TEST_F(JobsE2e, DumpInfoShowsTheBlockInTheFlashViewAndEnablesTheJobButtons) {
    Ready(L"TV8051A16", "", false);
    tool->SelectTab(1);
    EXPECT_FALSE(Enabled(kUpdate));
    tool->Click(kDumpInfo);
    ASSERT_TRUE(LogHas(L"000 - Dump Info =>Pass   ["));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(tool->BufferBytes(0).size(), 256u);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(tool->Main(), kTab), TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(Enabled(kUpdate));
    EXPECT_TRUE(Enabled(kRepeat));
    EXPECT_TRUE(Enabled(kDumpInfo));
}

TEST_F(JobsE2e, TheRunningJobStaysStoppableAcrossALanguageSwitchAndTheToolCannotBeClosedUnderIt) {
    Ready(L"T30C64", "never\r\n");
    tool->Click(kUpdate);
    ASSERT_TRUE(LogHas(kPrompt));
    tool->SysCommand(IDM_LANGUAGE_CHINESE);
    EXPECT_EQ(tool->ItemText(kUpdate), L"\u505C\u6B62");  // "Stop" in Chinese
    EXPECT_FALSE(Enabled(kRepeat));
    EXPECT_FALSE(Enabled(kDumpInfo));

    // Every way of closing the window is refused while the job runs.
    ::PostMessageW(tool->Main(), WM_CLOSE, 0, 0);
    ::PostMessageW(tool->Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ::PostMessageW(tool->Main(), WM_COMMAND, IDCANCEL, 0);
    tool->Click(kExit);
    EXPECT_EQ(tool->WaitForExit(1500), -1);
    ASSERT_TRUE(::IsWindow(tool->Main()));

    // Clicking the other job buttons does nothing; the job's own stops it.
    tool->Click(kRepeat);
    tool->Click(kUpdate);
    // The heading was written in English when the job started.
    ASSERT_TRUE(LogHas(L"000 - Update Target =>\u505C\u6B62   ["));
    ASSERT_TRUE(WaitUntil([&] { return tool->ItemText(kUpdate) == L"\u66F4\u65B0\u82AF\u7247" && Enabled(kExit); }));
    EXPECT_EQ(CountLogLines(tool->Log()), 1);
    EXPECT_EQ(tool->ItemText(kRepeat), L"\u91CD\u8986\u66F4\u65B0");
}

TEST_F(JobsE2e, AStatusWordWithoutMeaningIsWaitedOnNotSpunOn) {
    // The library reports 102 instead of 0xFFFF while no target answers.
    Ready(L"T30C64", "never\r\nwait-status=102\r\n");
    tool->Click(kUpdate);
    ASSERT_TRUE(WaitUntil([&] { return tool->ItemText(kUpdate) == L"Stop"; }));
    const double cpuBefore = tool->CpuMs();
    const DWORD wallBefore = ::GetTickCount();
    // Long enough for a spinning job thread to burn most of a core.
    EXPECT_FALSE(WaitUntil([&] { return CountLogLines(tool->Log()) > 0; }, 2000)) << tool->Log();
    const double cpu = tool->CpuMs() - cpuBefore;
    const double wall = ::GetTickCount() - wallBefore;
    EXPECT_LT(cpu, 0.25 * wall) << cpu << " ms of CPU in " << wall << " ms";
    tool->Click(kUpdate);
    ASSERT_TRUE(LogHas(L"000 - Update Target =>Stop   ["));
    ASSERT_TRUE(Idle());
}

TEST_F(JobsE2e, AReloadAskedForDuringAJobWaitsUntilItEnds) {
    Ready(L"T30C64", "never\r\n");
    tool->Click(kAutoReload);
    ASSERT_TRUE(tool->WaitForLogLines(1));  // ticking reloads at once
    tool->Click(kUpdate);
    ASSERT_TRUE(LogHas(kPrompt));
    tool->SwitchAwayAndBack();
    EXPECT_FALSE(LogHas(L"002 - Auto Reload Code", 1000)) << tool->Log();
    EXPECT_FALSE(Enabled(kRepeat));
    tool->Click(kUpdate);
    ASSERT_TRUE(LogHas(L"001 - Update Target =>Stop   ["));
    ASSERT_TRUE(LogHas(L"002 - Auto Reload Code =>Pass   ["));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Count(L"Auto Reload Code =>"), 2);
}

// Every board of Update Target and Repeat Update appends its unit record to
// units.csv in the tool's folder (no project is open): the result's word,
// the port, the CRC-32 of the Flash image programmed. A record file that
// cannot be written is said in the log and no board runs unrecorded.
TEST_F(JobsE2e, EveryBoardOfTheWindowIsRecordedAndAnUnwritableRecordStopsTheJob) {
    Ready(L"T30C64", "");
    tool->Click(kRepeat);
    ASSERT_TRUE(WaitUntil([&] { return Count(L"Repeat Update =>Pass   [") >= 2; }, 60000)) << tool->Log();
    tool->Click(kRepeat);
    ASSERT_TRUE(Idle());
    tool->Click(kUpdate);
    ASSERT_TRUE(LogHas(L"Update Target =>Pass   [")) << tool->Log();
    ASSERT_TRUE(Idle());
    const Bytes bytes = ReadFileBytes(dir.File(L"units.csv"));
    const std::string text(bytes.begin(), bytes.end());
    ASSERT_EQ(text.rfind("time,station,operator,project,project_sha256,port,serial,image_crc32,outcome,seconds\r\n", 0),
              0u)
        << text;
    const Bytes fw{1, 2, 3, 4, 5, 6, 7, 8};
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(image::Crc32(fw.data(), fw.size())));
    const std::string port = Narrow(tool->ComboSelection(kPortList));
    // One row a board: as many as the log has results (the repeat job
    // cleared it when it started), each passed one with the port and image.
    int passed = 0, rows = 0;
    for (std::size_t at = text.find("\r\n") + 2; at < text.size(); at = text.find("\r\n", at) + 2) {
        const std::string row = text.substr(at, text.find("\r\n", at) - at);
        ++rows;
        if (row.find("," + port + ",," + crc + ",Pass,") != std::string::npos) ++passed;
    }
    EXPECT_EQ(rows, CountLogLines(tool->Log())) << text;
    EXPECT_EQ(passed, Count(L"=>Pass   [")) << text;
    EXPECT_GE(passed, 3) << text;

    // A folder where the file should be: nothing can be written there.
    ASSERT_TRUE(::DeleteFileW(dir.File(L"units.csv").c_str()));
    ASSERT_TRUE(::CreateDirectoryW(dir.File(L"units.csv").c_str(), nullptr));
    tool->Click(kClearMessage);
    tool->Click(kUpdate);
    ASSERT_TRUE(LogHas(L"Update Target =>The unit records cannot be written to ")) << tool->Log();
    EXPECT_TRUE(LogHas(L"): programming stops - Stop   [")) << tool->Log();
    ASSERT_TRUE(Idle());
    ::RemoveDirectoryW(dir.File(L"units.csv").c_str());
}

}  // namespace
