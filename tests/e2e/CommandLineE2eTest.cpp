// End-to-end: files named on the tool's command line (Explorer's "Open with",
// a shortcut), loaded into the Flash buffer once the window is up, each with
// the insert-area question, as a drop of them would.
#include "tests/e2e/LinkFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace e2e;

namespace {

class CommandLineE2e : public ToolFixture {
protected:
    // Answers the insert-area dialog of the next load (code area, or the
    // data address the dialog offers) and waits for the load's log line.
    void Answer(bool iap, int lines) {
        HWND area = tool->WaitForDialogWith(kAreaAp);
        ASSERT_NE(area, nullptr) << tool->Log();
        if (iap) {
            ::SendMessageW(::GetDlgItem(area, kAreaIap), BM_CLICK, 0, 0);
            ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(area, kAddressEdit)) != FALSE; }));
        }
        ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(tool->WaitForLogLines(lines)) << tool->Log();
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(area) || !::IsWindowVisible(area); }));
    }
};

// A folder below base whose path, with its backslash, is `length` characters.
std::wstring DeepFolder(const std::wstring& base, std::size_t length) {
    std::wstring folder = base;
    while (folder.size() + 1 < length) {
        std::size_t part = std::min<std::size_t>(length - folder.size() - 1, 100);
        if (length - folder.size() - 1 - part == 1) --part;
        folder += std::wstring(part, L'd') + L"\\";
        ::CreateDirectoryW(LongForm(folder).c_str(), nullptr);
    }
    return folder;
}

void WriteLong(const std::wstring& path, const Bytes& bytes) {
    HANDLE f = ::CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
}

}  // namespace

TEST_F(CommandLineE2e, QuotedRelativeAndLongPathsLoadInOrderEachWithItsQuestion) {
    // A boot loader in a folder with blanks (quoted), the application by a
    // path relative to the folder the tool starts in, and a patch whose path
    // is past MAX_PATH.
    ASSERT_TRUE(::CreateDirectoryW(dir.File(L"fw files").c_str(), nullptr));
    const Bytes boot(16, 0xB0);
    dir.WriteBytes(L"fw files\\boot loader.bin", boot);
    dir.WriteText(L"app.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    const std::wstring deep = DeepFolder(dir.Path(), 300);
    const std::wstring patch = deep + L"patch.bin";
    WriteLong(patch, Bytes{0x77, 0x77});
    ASSERT_GT(patch.size(), static_cast<std::size_t>(MAX_PATH));

    Start(L"T30C64", "", L"\"" + dir.File(L"fw files\\boot loader.bin") + L"\" app.hex \"" + patch + L"\"", dir.Path());
    Answer(false, 1);
    Answer(true, 2);  // the data address 0xF800
    Answer(false, 3);
    const std::wstring log = tool->Log();
    for (const wchar_t* line :
         {L"000 - Load File =>Pass   [", L"001 - Load File =>Pass   [", L"002 - Load File =>Pass   ["})
        EXPECT_NE(log.find(line), std::wstring::npos) << log;

    Bytes image = boot;
    image[0] = image[1] = 0x77;
    image.resize(0xF800, 0xFF);
    image.insert(image.end(), {1, 2, 3, 4});
    EXPECT_EQ(tool->BufferBytes(0), image);
    EXPECT_EQ(PageText(0, kFlashPath), patch + L" (Mixed file)");

    // The last file's folder is the one the file dialog offers next.
    tool->Click(kExit);
    EXPECT_EQ(tool->WaitForExit(), 0);
    EXPECT_EQ(IniString(dir.File(L"Setting.ini"), L"LoadFilePath"), deep);
}

TEST_F(CommandLineE2e, AMissingFileGivesOpenFileErrorAndTheToolStaysUp) {
    dir.WriteBytes(L"there.bin", Bytes{5, 6});
    Start(L"T30C64", "", L"missing.bin there.bin", dir.Path());
    Answer(false, 1);
    Answer(false, 2);
    EXPECT_NE(tool->Log().find(L"000 - Load File =>Open file error   ["), std::wstring::npos) << tool->Log();
    EXPECT_NE(tool->Log().find(L"001 - Load File =>Pass   ["), std::wstring::npos) << tool->Log();
    EXPECT_EQ(tool->BufferBytes(0), (Bytes{5, 6}));
    EXPECT_EQ(PageText(0, kFlashPath), dir.File(L"there.bin"));
    EXPECT_TRUE(Enabled(kLoadFile));
}

TEST_F(CommandLineE2e, AProjectSavedFromTheWindowOpensFromTheCommandLineAsItWasSaved) {
    // The engineer's window: T20G8 (three options, 256 bytes of EEPROM,
    // data at 0x1F00), an application and a calibration block in Flash,
    // EEPROM data, two option boxes, Erase by file size, a download rate.
    dir.WriteText(L"app.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    dir.WriteBytes(L"cal.bin", Bytes{0xCA, 0x1B});
    dir.WriteBytes(L"ee.bin", Bytes{0xEE, 0xE0, 0xE1});
    Start(L"T20G8");
    // EEPROM first: its loads take the last insert-area answer's offset.
    tool->SelectTab(1);
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"ee.bin")));
    ASSERT_TRUE(tool->WaitForLogLines(1)) << tool->Log();
    tool->SelectTab(0);
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"app.hex")));
    Answer(false, 2);
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"cal.bin")));
    Answer(true, 3);
    for (const wchar_t* line :
         {L"000 - Load File =>Pass   [", L"001 - Load File =>Pass   [", L"002 - Load File =>Pass   ["})
        ASSERT_NE(tool->Log().find(line), std::wstring::npos) << tool->Log();
    for (int id : {kOption0, kOption0 + 2, kEraseBySize}) tool->Click(id);
    const std::vector<std::wstring> rates = tool->ComboItems(kBaudList);
    const auto rate = std::find(rates.begin(), rates.end(), L"38400");
    ASSERT_NE(rate, rates.end());
    tool->ChooseComboItem(kBaudList, static_cast<int>(rate - rates.begin()));

    // Saved with a lock.
    ::PostMessageW(tool->Main(), WM_SYSCOMMAND, IDM_SAVE_PROJECT, 0);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"line1.tarvel")));
    HWND question = tool->WaitForDialogWith(IDYES);
    ASSERT_NE(question, nullptr);
    ::PostMessageW(::GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    HWND password = tool->WaitForDialogWith(IDC_PASSWORD_AGAIN);
    ASSERT_NE(password, nullptr);
    for (int id : {IDC_PASSWORD, IDC_PASSWORD_AGAIN})
        ::SendMessageW(::GetDlgItem(password, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"line 1"));
    ::PostMessageW(::GetDlgItem(password, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(4)) << tool->Log();
    EXPECT_NE(tool->Log().find(L"003 - Save project =>Pass   ["), std::wstring::npos) << tool->Log();
    const std::wstring title = tool->Title();
    EXPECT_NE(title.find(L" - line1 ["), std::wstring::npos) << title;
    // The files in load order, stored relative to the project's folder,
    // with the insert-area answers.
    const Bytes saved = ReadFileBytes(dir.File(L"line1.tarvel"));
    const std::string text(saved.begin(), saved.end());
    const std::size_t app = text.find("\"file\": \"app.hex\""), cal = text.find("\"file\": \"cal.bin\"");
    EXPECT_LT(app, cal) << text;
    EXPECT_NE(text.find("\"address\": \"0x1F00\"", cal), std::string::npos) << text;
    EXPECT_NE(text.find("\"file\": \"ee.bin\"", cal), std::string::npos) << text;
    const Bytes flash = tool->BufferBytes(0);
    const Bytes eeprom = tool->BufferBytes(1);
    ASSERT_EQ(flash.size(), 0x1F02u);
    ASSERT_EQ(eeprom, (Bytes{0xEE, 0xE0, 0xE1}));
    tool->Click(kExit);
    ASSERT_EQ(tool->WaitForExit(), 0);

    // The operator's window: a fresh tool on another part, the project named
    // on its command line (by a path relative to where it starts).
    // (Started by hand: the project has changed the part by the time Start
    // would look.)
    dir.WriteText(L"Setting.ini", "[Setting]\r\nLastPartNo=" + std::to_string(PartIndex(L"T30C64")) + "\r\n");
    tool = std::make_unique<Tool>(dir.Path(), L"Tarvel_AP.exe", L"line1.tarvel", dir.Path());
    ASSERT_TRUE(tool->WaitForMainWindow());
    ASSERT_TRUE(tool->WaitForLogLines(1)) << tool->Log();
    EXPECT_NE(tool->Log().find(L"000 - Open project =>Pass   ["), std::wstring::npos) << tool->Log();
    EXPECT_EQ(tool->ComboSelection(kPartList), L"T20G8");
    EXPECT_EQ(tool->ComboSelection(kBaudList), L"38400");
    const auto checked = [&](int id) {
        return ::SendMessageW(::GetDlgItem(tool->Main(), id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    };
    EXPECT_TRUE(checked(kOption0));
    EXPECT_FALSE(checked(kOption0 + 1));
    EXPECT_TRUE(checked(kOption0 + 2));
    EXPECT_TRUE(checked(kEraseBySize));
    EXPECT_EQ(tool->BufferBytes(0), flash);
    EXPECT_EQ(tool->BufferBytes(1), eeprom);
    EXPECT_EQ(tool->Title(), title);
    // Locked, until its password is given.
    EXPECT_FALSE(Enabled(kLoadFile));
    EXPECT_FALSE(Enabled(kPartList));
    EXPECT_TRUE(Enabled(kOpenPort));
    ::PostMessageW(tool->Main(), WM_SYSCOMMAND, IDM_UNLOCK_PROJECT, 0);
    password = tool->WaitForDialogWith(IDC_PASSWORD);
    ASSERT_NE(password, nullptr);
    ::SendMessageW(::GetDlgItem(password, IDC_PASSWORD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"line 1"));
    ::PostMessageW(::GetDlgItem(password, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool->WaitForLogLines(2)) << tool->Log();
    EXPECT_NE(tool->Log().find(L"001 - Unlock project =>Pass   ["), std::wstring::npos) << tool->Log();
    EXPECT_TRUE(Enabled(kLoadFile));

    // Opened again through the menu's file dialog: locked again.
    ::PostMessageW(tool->Main(), WM_SYSCOMMAND, IDM_OPEN_PROJECT, 0);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"line1.tarvel")));
    ASSERT_TRUE(tool->WaitForLogLines(3)) << tool->Log();
    EXPECT_NE(tool->Log().find(L"002 - Open project =>Pass   ["), std::wstring::npos) << tool->Log();
    EXPECT_FALSE(Enabled(kLoadFile));
    EXPECT_EQ(tool->Title(), title);
}
