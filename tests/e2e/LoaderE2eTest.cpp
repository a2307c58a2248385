// End-to-end: loading firmware files through the real open-file dialog and
// the insert-area dialog, auto reload, and the port link over the built-in
// adapter, with the real Tarvel_AP.exe driven from this process.
#include "tests/e2e/LinkFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using e2e::Bytes;
using e2e::ToolFixture;
using namespace e2e;

namespace {

// A HEX file with data at 0x0000-0x0003 and 0x0100-0x0101.
const char kHex[] =
    ":0400000001020304F2\r\n"
    ":02010000AABB98\r\n"
    ":00000001FF\r\n";

Bytes HexImage() {
    Bytes b(0x102, 0xFF);
    b[0] = 1, b[1] = 2, b[2] = 3, b[3] = 4;
    b[0x100] = 0xAA, b[0x101] = 0xBB;
    return b;
}

class LoaderE2e : public ToolFixture {};

TEST_F(LoaderE2e, HexAndBinaryIntoFlashAtCodeAndDataAddressesMergeClearThenEeprom) {
    Start(L"T30C64");  // 64 KiB Flash, 2 KiB EEPROM, data at 0xF800
    dir.WriteText(L"app.hex", kHex);
    const Bytes bin = {0x10, 0x20, 0x30};
    dir.WriteBytes(L"data.bin", bin);

    // HEX at code offset 0: the insert-area dialog offers its defaults.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"app.hex")));
    HWND area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(e2e::Tool::Text(area), L"Select Insert Area");
    EXPECT_EQ(::SendMessageW(::GetDlgItem(area, kAreaAp), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(area, kClearBuffer), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(e2e::Tool::Text(::GetDlgItem(area, kAddressEdit)), L"0000F800");
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(area, kAddressEdit)));
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(1));
    EXPECT_NE(tool->Log().find(L"000 - Load File =>Pass   ["), std::wstring::npos) << tool->Log();
    EXPECT_EQ(tool->BufferBytes(0), HexImage());
    EXPECT_EQ(PageText(0, kFlashPath), dir.File(L"app.hex"));
    EXPECT_EQ(PageText(0, kFlashSize), L"258");
    EXPECT_EQ(PageText(0, kFlashSum), e2e::SumText(HexImage()));

    // Binary at the data address, laid over the HEX image.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"data.bin")));
    area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::SendMessageW(::GetDlgItem(area, kAreaIap), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(area, kAddressEdit)) != FALSE; }, 5000));
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(2));
    Bytes merged = HexImage();
    merged.resize(0xF800, 0xFF);
    merged.insert(merged.end(), bin.begin(), bin.end());
    EXPECT_EQ(tool->BufferBytes(0), merged);
    EXPECT_EQ(PageText(0, kFlashPath), dir.File(L"data.bin") + L" (Mixed file)");
    EXPECT_EQ(PageText(0, kFlashSize), std::to_wstring(merged.size()));

    // "Clear Buffer": the HEX image alone again.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"app.hex")));
    area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::SendMessageW(::GetDlgItem(area, kClearBuffer), BM_CLICK, 0, 0);
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(3));
    EXPECT_EQ(tool->BufferBytes(0), HexImage());
    EXPECT_EQ(PageText(0, kFlashPath), dir.File(L"app.hex"));

    // EEPROM: no question, the last offset (0).
    tool->SelectTab(1);
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"data.bin")));
    ASSERT_TRUE(tool->WaitForLogLines(4));
    EXPECT_EQ(tool->BufferBytes(1), bin);
    EXPECT_EQ(PageText(1, kEepromSize), L"3");
    EXPECT_EQ(PageText(1, kEepromSum), L"0060");
    EXPECT_EQ(tool->BufferBytes(0), HexImage());
    EXPECT_EQ(e2e::CountLogLines(tool->Log()), 4);
    EXPECT_EQ(tool->Log().find(L"Load File =>Pass", 0) != std::wstring::npos, true);
}

TEST_F(LoaderE2e, FailuresLogTheirTextAndLeaveTheBufferAsItWas) {
    Start(L"T30C64");
    dir.WriteBytes(L"base.bin", Bytes(16, 0x5A));
    dir.WriteText(L"bad.hex", ":0400000001020304F3\r\n");  // checksum off by one
    dir.WriteText(L"nodata.hex", ":00000001FF\r\n");
    dir.WriteBytes(L"eeprom-full.bin", Bytes(2048, 0x11));
    dir.WriteBytes(L"eeprom-over.bin", Bytes(2049, 0x22));
    dir.WriteBytes(L"empty.bin", Bytes());
    dir.WriteBytes(L"locked.bin", Bytes(4, 1));

    LoadFlash(dir.File(L"base.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(1));
    const Bytes base(16, 0x5A);

    // The file dialog cancelled: nothing at all, not even a heading.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(L""));
    // The insert-area dialog cancelled, by its button and by Escape.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"base.bin")));
    HWND area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::PostMessageW(::GetDlgItem(area, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(2));
    EXPECT_NE(tool->Log().find(L"001 - Load File =>Cancel   ["), std::wstring::npos) << tool->Log();
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"base.bin")));
    area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::PostMessageW(area, WM_COMMAND, IDCANCEL, 0);  // what Escape and the close box send
    ASSERT_TRUE(tool->WaitForLogLines(3));
    EXPECT_NE(tool->Log().find(L"002 - Load File =>Cancel   ["), std::wstring::npos) << tool->Log();

    struct Row {
        const wchar_t* file;
        const wchar_t* result;
    };
    const Row rows[] = {
        {L"missing.bin", L"Open file error"},
        {L"locked.bin", L"Open file error"},
        {L"bad.hex", L"HEX file error"},
    };
    // Another program holds this one open without sharing.
    HANDLE held = ::CreateFileW(dir.File(L"locked.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int lines = 3;
    for (const Row& row : rows) {
        LoadFlash(dir.File(row.file));
        ASSERT_TRUE(tool->WaitForLogLines(++lines)) << row.file;
        EXPECT_NE(tool->Log().find(std::wstring(L"Load File =>") + row.result + L"   ["), std::wstring::npos)
            << row.file << "\n"
            << tool->Log();
        EXPECT_EQ(tool->BufferBytes(0), base) << row.file;
        EXPECT_EQ(PageText(0, kFlashPath), dir.File(L"base.bin")) << row.file;
        EXPECT_EQ(PageText(0, kFlashSize), L"16") << row.file;
    }
    ::CloseHandle(held);

    // An IAP address whose image would end past 4 GiB is too large, and the
    // buffer stays as it was.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"base.bin")));
    area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::SendMessageW(::GetDlgItem(area, kAreaIap), BM_CLICK, 0, 0);
    ::SendMessageW(::GetDlgItem(area, kAddressEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"FFFFFFF8"));
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(++lines));
    EXPECT_NE(tool->Log().rfind(L"Load File =>File is too large !   ["), std::wstring::npos) << tool->Log();
    EXPECT_EQ(tool->BufferBytes(0), base);

    // A HEX file without data records clears the buffer when loaded alone.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"nodata.hex")));
    area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::SendMessageW(::GetDlgItem(area, kClearBuffer), BM_CLICK, 0, 0);
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(++lines));
    EXPECT_TRUE(tool->BufferBytes(0).empty());
    EXPECT_EQ(PageText(0, kFlashSize), L"0");
    EXPECT_EQ(PageText(0, kFlashSum), L"0000");

    // EEPROM (2 KiB, offset 0 after the last dialog): exactly full is taken,
    // one byte more is refused, an empty file gives an empty buffer.
    tool->SelectTab(1);
    const struct {
        const wchar_t* file;
        const wchar_t* result;
        const wchar_t* size;
    } eeprom[] = {
        {L"eeprom-full.bin", L"Pass", L"2048"},
        {L"eeprom-over.bin", L"File is too large !", L"2048"},
        {L"empty.bin", L"Pass", L"0"},
    };
    for (const auto& row : eeprom) {
        tool->Click(kLoadFile);
        ASSERT_TRUE(tool->ChooseFile(dir.File(row.file)));
        ASSERT_TRUE(tool->WaitForLogLines(++lines)) << row.file;
        EXPECT_NE(tool->Log().rfind(std::wstring(L"Load File =>") + row.result + L"   ["), std::wstring::npos)
            << row.file;
        EXPECT_EQ(PageText(1, kEepromSize), row.size) << row.file;
    }
}

TEST_F(LoaderE2e, TheAddressEditTakesOnlyHexDigitsAndAnIapLoadStartsThere) {
    Start(L"T30C64");
    dir.WriteBytes(L"two.bin", Bytes{0xA1, 0xA2});
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"two.bin")));
    HWND area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::SendMessageW(::GetDlgItem(area, kAreaIap), BM_CLICK, 0, 0);
    HWND edit = ::GetDlgItem(area, kAddressEdit);
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    for (wchar_t c : std::wstring(L"1 -g0z")) ::SendMessageW(edit, WM_CHAR, c, 0);
    EXPECT_EQ(e2e::Tool::Text(edit), L"10");
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(1));
    Bytes expected(0x10, 0xFF);
    expected.push_back(0xA1);
    expected.push_back(0xA2);
    EXPECT_EQ(tool->BufferBytes(0), expected);
}

TEST_F(LoaderE2e, AutoReloadOnTickingAndOnActivationButNeverInsideALoad) {
    Start(L"T30C64");
    dir.WriteBytes(L"fw.bin", Bytes{1, 2, 3, 4});
    LoadFlash(dir.File(L"fw.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(1));

    dir.WriteBytes(L"fw.bin", Bytes{9, 8, 7});
    tool->Click(kAutoReload);
    ASSERT_TRUE(tool->WaitForLogLines(2));
    EXPECT_NE(tool->Log().find(L"001 - Auto Reload Code =>Pass   ["), std::wstring::npos) << tool->Log();
    // Laid over the buffer: the shorter file leaves the old fourth byte.
    EXPECT_EQ(tool->BufferBytes(0), (Bytes{9, 8, 7, 4}));

    dir.WriteBytes(L"fw.bin", Bytes{5, 5, 5, 5, 5});
    tool->SwitchAwayAndBack();
    ASSERT_TRUE(tool->WaitForLogLines(3));
    EXPECT_EQ(tool->BufferBytes(0), Bytes(5, 5));

    // A user load with the box ticked: its own dialogs re-activate the
    // window, and no reload may run in the middle of it, nor after it.
    dir.WriteBytes(L"other.bin", Bytes{0xEE});
    LoadFlash(dir.File(L"other.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(4));
    const std::wstring log = tool->Log();
    EXPECT_NE(log.find(L"003 - Load File =>Pass   ["), std::wstring::npos) << log;
    EXPECT_FALSE(WaitUntil([&] { return tool->Log().find(L"004 - ") != std::wstring::npos; }, 1000)) << tool->Log();
    // Coming back from another program reloads again.
    tool->SwitchAwayAndBack();
    ASSERT_TRUE(tool->WaitForLogLines(5));
    EXPECT_NE(tool->Log().find(L"004 - Auto Reload Code =>Pass   ["), std::wstring::npos) << tool->Log();
}

// Runs the console programmer in the test folder and waits for it; its exit
// code, or -1.
int RunCli(const std::wstring& folder, const std::wstring& args) {
    std::wstring cmd = L"\"" + folder + L"Tarvel_CLI.exe\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(), &si,
                          &pi))
        return -1;
    ::CloseHandle(pi.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

TEST_F(LoaderE2e, TheConsoleProgrammerBuildsTheBytesTheWindowLoads) {
    Start(L"T30C64");
    dir.InstallAs(L"Tarvel_CLI.exe", L"Tarvel_CLI.exe");
    dir.WriteText(L"app.hex", kHex);
    // A second HEX file with an extended linear address record and a gap.
    dir.WriteText(L"high.hex",
                  ":020000040000FA\r\n"
                  ":0380000011223317\r\n"
                  ":00000001FF\r\n");
    dir.WriteBytes(L"data.bin", Bytes{0x10, 0x20, 0x30});

    // HEX at 0, then the binary at the data address laid over it.
    LoadFlash(dir.File(L"app.hex"));
    ASSERT_TRUE(tool->WaitForLogLines(1));
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"data.bin")));
    HWND area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::SendMessageW(::GetDlgItem(area, kAreaIap), BM_CLICK, 0, 0);
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(2));
    const Bytes merged = tool->BufferBytes(0);
    ASSERT_EQ(RunCli(dir.Path(), L"image --part T30C64 --flash app.hex --flash data.bin@F800 --out merged.bin"), 0);
    EXPECT_EQ(ReadFileBytes(dir.File(L"merged.bin")), merged);

    // "Clear Buffer" and the second HEX file.
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"high.hex")));
    area = tool->WaitForDialogWith(kAreaAp);
    ASSERT_NE(area, nullptr);
    ::SendMessageW(::GetDlgItem(area, kClearBuffer), BM_CLICK, 0, 0);
    ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(3));
    const Bytes cleared = tool->BufferBytes(0);
    ASSERT_EQ(cleared.size(), 0x8003u);
    ASSERT_EQ(RunCli(dir.Path(),
                     L"image --part T30C64 --flash app.hex --flash data.bin@F800 --clear --flash high.hex --out c.bin"),
              0);
    EXPECT_EQ(ReadFileBytes(dir.File(L"c.bin")), cleared);
}

TEST_F(LoaderE2e, OpenAndClosePortOnTheAdapterLockTheSettingsAndFollowTheEnableRules) {
    Start(L"T30C64");  // class 0: no Dump Info
    tool->Click(kOpenPort);
    ASSERT_TRUE(tool->WaitForLogLines(1));
    EXPECT_NE(tool->Log().find(L"000 - Open Port =>Pass   ["), std::wstring::npos) << tool->Log();
    for (int id : {kFamilyList, kPartList, kPortList, kBaudList, kCheckList, kOpenPort})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(kClosePort));
    EXPECT_FALSE(Enabled(kDumpInfo));
    // No file yet: the job buttons wait for one.
    EXPECT_FALSE(Enabled(kUpdate));
    EXPECT_FALSE(Enabled(kRepeat));
    dir.WriteBytes(L"fw.bin", Bytes{1, 2});
    LoadFlash(dir.File(L"fw.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(2));
    EXPECT_TRUE(Enabled(kUpdate));
    EXPECT_TRUE(Enabled(kRepeat));

    tool->Click(kClosePort);
    ASSERT_TRUE(tool->WaitForLogLines(3));
    EXPECT_NE(tool->Log().find(L"002 - Close Port =>Pass   ["), std::wstring::npos) << tool->Log();
    for (int id : {kFamilyList, kPartList, kPortList, kBaudList, kCheckList, kOpenPort}) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {kClosePort, kDumpInfo, kUpdate, kRepeat}) EXPECT_FALSE(Enabled(id)) << id;

    // A class 1 part can read its information block back.
    SelectPart(L"TV8051A16");
    tool->Click(kOpenPort);
    ASSERT_TRUE(tool->WaitForLogLines(4));
    EXPECT_TRUE(Enabled(kDumpInfo));
}

}  // namespace
