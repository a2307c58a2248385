// End-to-end over COM ports: the real tool opens COM9 (by its own name) and
// COM12 (by its device name) and programs the native target simulator at the
// other end of a pty pair; the simulator's memory files show what arrived.
// Run through run-link-e2e.sh, which sets up the ports.
#include "tests/e2e/LinkFixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>

using namespace e2e;

namespace {

// The value of an argument the script passes ("--sim9=Z:\..."); empty when
// the test runs without the script.
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

// Writes a whole file at an absolute path (the simulators' control files,
// the script's pull and restore marks).
void WriteTextFile(const std::wstring& path, const std::string& text) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot write " << path;
    DWORD written = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
}

// The simulator's output folder for a COM port.
std::wstring SimFolder(int com) {
    const std::wstring folder = ArgValue(L"--sim" + std::to_wstring(com) + L"=");
    return folder.empty() ? folder : folder + L"\\";
}

class ComE2e : public ToolFixture {
protected:
    void SetUp() override {
        if (SimFolder(9).empty()) GTEST_SKIP() << "run through run-link-e2e.sh";
    }
    bool LogHas(const std::wstring& text, DWORD timeoutMs = 20000) const {
        return WaitUntil([&] { return tool->Log().find(text) != std::wstring::npos; }, timeoutMs);
    }
    // The COM ports join the list just after the window is ready.
    void ChoosePort(const std::wstring& name) {
        int index = -1;
        WaitUntil(
            [&] {
                const auto ports = tool->ComboItems(kPortList);
                for (size_t i = 0; i < ports.size(); ++i)
                    if (ports[i] == name) index = static_cast<int>(i);
                return index >= 0;
            },
            5000);
        if (index < 0) FAIL() << "port not listed";
        tool->ChooseComboItem(kPortList, index);
    }
};

TEST_F(ComE2e, UpdateOverCom9And12LandsByteForByteAndClosePortFreesThePort) {
    Start(L"T30C64");
    Bytes flash(3000);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const Bytes eeprom = {0xE0, 0xE1, 0xE2, 0xE3, 0xE4};
    dir.WriteBytes(L"fw.bin", flash);
    dir.WriteBytes(L"ee.bin", eeprom);
    LoadFlash(dir.File(L"fw.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(1));
    tool->SelectTab(1);
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"ee.bin")));
    ASSERT_TRUE(tool->WaitForLogLines(2));

    int lines = 2;
    for (int com : {9, 12}) {
        SCOPED_TRACE(com);
        const std::wstring out = SimFolder(com);
        ::DeleteFileW((out + L"flash.bin").c_str());
        ChoosePort(L"COM" + std::to_wstring(com));
        tool->Click(kOpenPort);
        ASSERT_TRUE(tool->WaitForLogLines(++lines));
        ASSERT_NE(tool->Log().rfind(L"Open Port =>Pass"), std::wstring::npos) << tool->Log();
        tool->Click(kUpdate);
        ASSERT_TRUE(tool->WaitForLogLines(++lines, 60000));
        ASSERT_NE(tool->Log().rfind(L"Update Target =>Pass   ["), std::wstring::npos) << tool->Log();

        // The target leaves after its run and writes its memories then.
        Bytes target;
        ASSERT_TRUE(WaitUntil([&] {
            target = ReadFileBytes(out + L"flash.bin");
            return target.size() == 64 * 1024;
        }));
        EXPECT_TRUE(std::equal(flash.begin(), flash.end(), target.begin()));
        EXPECT_TRUE(std::all_of(target.begin() + static_cast<long>(flash.size()), target.end(),
                                [](std::uint8_t b) { return b == 0xFF; }));
        const Bytes targetEeprom = ReadFileBytes(out + L"eeprom.bin");
        ASSERT_GE(targetEeprom.size(), eeprom.size());
        EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), targetEeprom.begin()));

        ASSERT_TRUE(WaitUntil([&] { return Enabled(kClosePort); }));
        tool->Click(kClosePort);
        ASSERT_TRUE(tool->WaitForLogLines(++lines));
        ASSERT_NE(tool->Log().rfind(L"Close Port =>Pass"), std::wstring::npos) << tool->Log();
        // The tool let go of the port: another program can open it now.
        const std::wstring device = com < 10 ? L"COM9" : L"\\\\.\\COM12";
        HANDLE h = ::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
}

TEST_F(ComE2e, APortTheLibraryRefusesCanBeTriedAgainAndAPortThatIsGoneSaysSo) {
    Start(L"T30C64");
    ChoosePort(L"COM5");

    // COM5 is no serial port and the library refuses it. The tool must not
    // keep the port it opened without sharing, or the next try could not
    // even open it ("Opten COM error") until the tool restarts.
    for (int line = 0; line < 2; ++line) {
        tool->Click(kOpenPort);
        ASSERT_TRUE(tool->WaitForLogLines(line + 1));
        EXPECT_NE(tool->Log().find(L"00" + std::to_wstring(line) + L" - Open Port =>Fail   ["), std::wstring::npos)
            << tool->Log();
        EXPECT_TRUE(Enabled(kOpenPort));
        EXPECT_FALSE(Enabled(kClosePort));
    }

    // The port vanishes after the tool listed it (an adapter pulled out).
    ASSERT_TRUE(::DeleteFileW(ArgValue(L"--gone5=").c_str()));
    tool->Click(kOpenPort);
    ASSERT_TRUE(tool->WaitForLogLines(3));
    EXPECT_NE(tool->Log().find(L"002 - Open Port =>Opten COM error   ["), std::wstring::npos) << tool->Log();
    EXPECT_TRUE(Enabled(kOpenPort));
    EXPECT_FALSE(Enabled(kClosePort));
}

TEST_F(ComE2e, ARepeatJobOfTwentyBoardsLeaksNoHandlesOrMemory) {
    Start(L"T30C64");
    Bytes flash(2048);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    dir.WriteBytes(L"fw.bin", flash);
    LoadFlash(dir.File(L"fw.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(1));
    ChoosePort(L"COM9");
    tool->Click(kOpenPort);
    ASSERT_TRUE(tool->WaitForLogLines(2));
    const std::wstring runsFile = SimFolder(9) + L"runs.txt";
    const auto runs = [&] {
        const Bytes text = ReadFileBytes(runsFile);
        return std::atoi(std::string(text.begin(), text.end()).c_str());
    };
    const int runsBefore = runs();
    const auto passes = [&] {
        const std::wstring log = tool->Log();
        int n = 0;
        for (auto at = log.find(L"Repeat Update =>Pass"); at != std::wstring::npos;
             at = log.find(L"Repeat Update =>Pass", at + 1))
            ++n;
        return n;
    };

    tool->Click(kRepeat);
    ASSERT_TRUE(WaitUntil([&] { return passes() >= 5; }, 60000)) << tool->Log();
    const DWORD handles5 = tool->HandleCount();
    const SIZE_T memory5 = tool->CommittedBytes();
    ASSERT_TRUE(WaitUntil([&] { return passes() >= 20; }, 120000)) << tool->Log();
    const DWORD handles20 = tool->HandleCount();
    const SIZE_T memory20 = tool->CommittedBytes();
    tool->Click(kRepeat);
    ASSERT_TRUE(WaitUntil([&] { return tool->ItemText(kRepeat) == L"Repeat Update" && Enabled(kExit); }));

    // Every board passed (the target checks the image's CRC-32 before it
    // answers) and the last one holds the image.
    EXPECT_EQ(tool->Log().find(L"=>Pass"), tool->Log().find(L"=>"));
    EXPECT_GE(runs() - runsBefore, 20);
    const Bytes target = ReadFileBytes(SimFolder(9) + L"flash.bin");
    ASSERT_GE(target.size(), flash.size());
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), target.begin()));
    if (handles5 != 0) {
        EXPECT_LE(handles20, handles5 + 2) << handles5 << " -> " << handles20;
    }
    if (memory5 != 0) {
        EXPECT_LE(memory20, memory5 + memory5 / 20) << memory5 << " -> " << memory20;
    }
}

}  // namespace

TEST_F(ComE2e, AnAdapterPulledOutMidBoardFailsTheBoardAtOnceAndThePortWorksAgainOncePluggedIn) {
    const std::wstring work = ArgValue(L"--work=");
    if (work.empty()) GTEST_SKIP() << "run through run-link-e2e.sh";
    Start(L"T30C64");
    // At 9600 baud, paced like a real line, 48 KiB take about a minute: the
    // port is pulled a few percent in.
    WriteTextFile(SimFolder(8) + L"control.txt", "--part T30C64 --pace 1\n");
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(SimFolder(8) + L"control.txt.ack").size() != 0; }));
    Bytes flash(48 * 1024);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<std::uint8_t>(i * 13 + 5);
    dir.WriteBytes(L"fw.bin", flash);
    LoadFlash(dir.File(L"fw.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(1));

    ChoosePort(L"COM8");
    const auto rates = tool->ComboItems(kBaudList);
    const auto at = std::find(rates.begin(), rates.end(), L"9600");
    ASSERT_NE(at, rates.end());
    tool->ChooseComboItem(kBaudList, static_cast<int>(at - rates.begin()));
    tool->Click(kOpenPort);
    ASSERT_TRUE(tool->WaitForLogLines(2));
    ASSERT_NE(tool->Log().rfind(L"Open Port =>Pass"), std::wstring::npos) << tool->Log();

    tool->Click(kUpdate);
    const HWND progress = ::GetDlgItem(tool->Main(), kProgress);
    ASSERT_TRUE(WaitUntil(
        [&] { return ::IsWindowVisible(progress) && ::SendMessageW(progress, PBM_GETPOS, 0, 0) >= 3; }, 60000))
        << tool->Log();
    const DWORD pulled = ::GetTickCount();
    WriteTextFile(work + L"\\pull8", "");

    // The board fails (not "Stop": nobody asked for one) within a few
    // seconds, and the window gives its controls back.
    ASSERT_TRUE(tool->WaitForLogLines(3, 20000)) << tool->Log();
    const DWORD seconds = (::GetTickCount() - pulled) / 1000;
    EXPECT_LT(seconds, 5u) << tool->Log();
    EXPECT_NE(tool->Log().rfind(L"Update Target =>Fail   ["), std::wstring::npos) << tool->Log();
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kUpdate) && Enabled(kClosePort); })) << tool->Log();

    tool->Click(kClosePort);
    ASSERT_TRUE(tool->WaitForLogLines(4)) << tool->Log();
    EXPECT_TRUE(WaitUntil([&] { return Enabled(kOpenPort) && !Enabled(kClosePort); })) << tool->Log();

    // Plugged in again: the same port opens without restarting the tool.
    WriteTextFile(work + L"\\restore8", "");
    bool opened = false;
    for (int tries = 0; tries < 20 && !opened; ++tries) {
        const int before = CountLogLines(tool->Log());
        tool->Click(kOpenPort);
        ASSERT_TRUE(tool->WaitForLogLines(before + 1)) << tool->Log();
        opened = tool->Log().rfind(L"Open Port =>Pass") > tool->Log().rfind(L"Close Port");
        if (!opened) ::Sleep(250);
    }
    EXPECT_TRUE(opened) << tool->Log();
}
