// End-to-end: the real Tarvel_AP.exe with the library beside it, started in
// an empty folder and driven from this process.
#include "res/resource.h"
#include "tests/e2e/ToolDriver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using e2e::IniString;
using e2e::TempFolder;
using e2e::Tool;

namespace {
// Control ids of the main window.
constexpr int kExit = 2, kLoadFile = 1037, kGroupMcuType = 1001, kLabelPartNo = 1007, kFamilyList = 1013,
              kPartList = 1017, kPortList = 1014, kBaudList = 1015, kCheckList = 1016;

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(ToolE2e, FreshStartEnglishThenChineseSurvivesARestart) {
    TempFolder dir;
    dir.InstallTool();
    std::wstring chosenPart;
    {
        Tool tool(dir.Path());
        ASSERT_TRUE(tool.Started());
        ASSERT_TRUE(tool.WaitForMainWindow());
        EXPECT_EQ(tool.Title(), L"Tessaro Tarvel v1.0.0.7");
        EXPECT_EQ(tool.ItemText(kLoadFile), L"Load File");
        EXPECT_EQ(tool.ItemText(kGroupMcuType), L"MCU Type");
        EXPECT_EQ(tool.ItemText(kLabelPartNo), L"Part No : ");
        EXPECT_EQ(tool.ItemText(kExit), L"Exit");
        ASSERT_FALSE(tool.ComboItems(kPortList).empty());
        EXPECT_EQ(tool.ComboItems(kPortList)[0], L"KV707");
        EXPECT_EQ(tool.ComboSelection(kBaudList), tool.ComboItems(kBaudList).front());
        EXPECT_FALSE(tool.ComboItems(kCheckList).empty());
        ASSERT_GE(tool.ComboItems(kFamilyList).size(), 6u);

        // Chinese through the system menu's command: captions change and the
        // choice is written at once.
        tool.SysCommand(IDM_LANGUAGE_CHINESE);
        EXPECT_EQ(tool.Title(), L"泰索科技 Tarvel v1.0.0.7");
        EXPECT_EQ(tool.ItemText(kLoadFile), L"打开文件");
        EXPECT_EQ(tool.ItemText(kLabelPartNo), L"芯片型号 : ");
        EXPECT_EQ(IniString(dir.File(L"Setting.ini"), L"Language"), L"1");

        // Another part than the first, to be found again at the next start.
        tool.ChooseComboItem(kFamilyList, 1);
        const auto partsOfFamily = tool.ComboItems(kPartList);
        ASSERT_FALSE(partsOfFamily.empty());
        tool.ChooseComboItem(kPartList, static_cast<int>(partsOfFamily.size()) - 1);
        chosenPart = tool.ComboSelection(kPartList);

        tool.Click(kExit);
        EXPECT_EQ(tool.WaitForExit(), 0);
    }
    const std::wstring ini = dir.File(L"Setting.ini");
    const std::string raw = ReadBytes(ini);
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw.substr(0, 2), std::string("\xFF\xFE")) << "Setting.ini is UTF-16LE";
    EXPECT_NE(IniString(ini, L"LastPartNo"), L"<missing>");
    EXPECT_EQ(IniString(ini, L"LoadFilePath"), L"");

    Tool again(dir.Path());
    ASSERT_TRUE(again.WaitForMainWindow());
    EXPECT_EQ(again.Title(), L"泰索科技 Tarvel v1.0.0.7");
    EXPECT_EQ(again.ComboSelection(kPartList), chosenPart);
    again.SysCommand(IDM_LANGUAGE_ENGLISH);
    EXPECT_EQ(again.Title(), L"Tessaro Tarvel v1.0.0.7");
    // Escape and the close box end the tool the way Exit does.
    ::PostMessageW(again.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(again.WaitForExit(), 0);
    EXPECT_EQ(IniString(ini, L"Language"), L"0");
}

TEST(ToolE2e, NonAsciiFolderSurvivesTheSettingsRoundTrip) {
    TempFolder dir;
    dir.InstallTool();
    // A Chinese folder name in LoadFilePath: written by the tool at Exit and
    // read back intact at the next start.
    const std::wstring folder = L"C:\\固件\\新版本\\";
    {
        Tool tool(dir.Path());
        ASSERT_TRUE(tool.WaitForMainWindow());
        tool.Click(kExit);
        ASSERT_EQ(tool.WaitForExit(), 0);
    }
    ::WritePrivateProfileStringW(L"Setting", L"LoadFilePath", folder.c_str(), dir.File(L"Setting.ini").c_str());
    {
        Tool tool(dir.Path());
        ASSERT_TRUE(tool.WaitForMainWindow());
        tool.Click(kExit);
        ASSERT_EQ(tool.WaitForExit(), 0);
    }
    EXPECT_EQ(IniString(dir.File(L"Setting.ini"), L"LoadFilePath"), folder);
}

TEST(ToolE2e, SavedPartOutsideTheTableStartsOnTheFirstPart) {
    TempFolder dir;
    dir.InstallTool();
    dir.WriteText(L"Setting.ini", "[Setting]\r\nLastPartNo=9999\r\nLanguage=2\r\n");
    Tool tool(dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    // Language 2 reads as Chinese.
    EXPECT_EQ(tool.ItemText(kLoadFile), L"打开文件");
    tool.Click(kExit);
    ASSERT_EQ(tool.WaitForExit(), 0);
    EXPECT_EQ(IniString(dir.File(L"Setting.ini"), L"LastPartNo"), L"0");
}

TEST(ToolE2e, EmptyPartsTableShowsAMessageAndLeavesTheListsEmpty) {
    TempFolder dir;
    dir.InstallTool();
    dir.WriteText(L"Tarvel_DLL.ini", "[Parts]\r\nTable=empty\r\n");
    Tool tool(dir.Path());
    HWND box = tool.WaitForOtherDialog();
    ASSERT_NE(box, nullptr);
    ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool.WaitForMainWindow());
    EXPECT_TRUE(tool.ComboItems(kFamilyList).empty());
    EXPECT_TRUE(tool.ComboItems(kPartList).empty());
    EXPECT_EQ(tool.ComboItems(kPortList)[0], L"KV707");
    EXPECT_FALSE(tool.ComboItems(kBaudList).empty());
    tool.Click(kExit);
    EXPECT_EQ(tool.WaitForExit(), 0);
}

TEST(ToolE2e, FamilyBitsWithoutANameAddNoEntryAndASavedPartThereStartsOnAListedOne) {
    TempFolder dir;
    dir.InstallTool();
    size_t regularFamilies = 0;
    {
        Tool tool(dir.Path());
        ASSERT_TRUE(tool.WaitForMainWindow());
        regularFamilies = tool.ComboItems(kFamilyList).size();
        tool.Click(kExit);
        ASSERT_EQ(tool.WaitForExit(), 0);
    }
    // The same table plus parts in family bits 15 and 20; the saved part is
    // the one in bit 15, which no family entry shows.
    dir.WriteText(L"Tarvel_DLL.ini", "[Parts]\r\nTable=highbits\r\n");
    ::WritePrivateProfileStringW(L"Setting", L"LastPartNo", L"15", dir.File(L"Setting.ini").c_str());
    Tool tool(dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    EXPECT_EQ(tool.ComboItems(kFamilyList).size(), regularFamilies);
    const std::wstring shown = tool.ComboSelection(kPartList);
    EXPECT_FALSE(shown.empty());
    tool.Click(kExit);
    ASSERT_EQ(tool.WaitForExit(), 0);
    EXPECT_EQ(IniString(dir.File(L"Setting.ini"), L"LastPartNo"), L"0") << "the part shown is saved";
}

TEST(ToolE2e, MissingLibraryOrOperationsAreNamedAndTheToolEndsCleanly) {
    struct Case {
        const wchar_t* library;  // built file installed as Tarvel_DLL.dll, or none
        const wchar_t* named;    // what the message must name
    } cases[] = {
        {nullptr, L"Tarvel_DLL.dll"},
        {L"Tarvel_DLL_partial.dll", L"OpenPort, ClosePort, UpdateMCU, DumpInfo"},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        dir.InstallTool(/*withLibrary=*/false);
        if (c.library) dir.InstallAs(c.library, L"Tarvel_DLL.dll");
        Tool tool(dir.Path());
        HWND box = tool.WaitForOtherDialog();
        ASSERT_NE(box, nullptr);
        bool named = false;
        for (const std::wstring& text : e2e::ChildTexts(box)) named = named || text.find(c.named) != std::wstring::npos;
        EXPECT_TRUE(named) << "message names the missing part";
        ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        EXPECT_EQ(tool.WaitForExit(), 0);
    }
}
