// The main window in process: created from its template with the stand-in
// library, driven with the messages its controls send.
#include "app/Tarvel_APDlg.h"
#include "text/UiText.h"
#include "isp/TarvelDll.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Text(HWND hwnd) { return CWnd::GetWindowText(hwnd); }

class MainDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        std::wstring missing;
        ASSERT_TRUE(isp::Library().Load(isp::ModuleFolder(), &missing)) << "missing";
    }

    void SetUp() override {
        ini = isp::ModuleFolder() + L"Setting.ini";
        ::DeleteFileW(ini.c_str());
    }
    void TearDown() override {
        dlg.reset();
        ::DeleteFileW(ini.c_str());
    }

    void Start() {
        dlg = std::make_unique<CTarvel_APDlg>();
        ASSERT_TRUE(dlg->Create(IDD_TARVEL_AP_DIALOG, nullptr));
    }

    HWND Item(int id) const { return ::GetDlgItem(dlg->m_hWnd, id); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }

    void Choose(int listId, const std::wstring& text) {
        HWND list = Item(listId);
        LRESULT i = ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text.c_str()));
        ASSERT_NE(i, CB_ERR) << "no item";
        ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }

    // Chooses the family of the part's lowest family bit, then the part.
    int ChoosePart(const std::wstring& name) {
        for (std::uint32_t k = 0; k < dlg->BodyCount; ++k) {
            if (name != dlg->BodyTable[k].PartName) continue;
            unsigned bit = 0;
            while (!(dlg->BodyTable[k].FamilyMask & (1u << bit))) ++bit;
            Choose(IDC_FAMILY_LIST, FamilyName(bit));
            Choose(IDC_PART_LIST, name);
            return static_cast<int>(k);
        }
        ADD_FAILURE() << "part not in the table";
        return -1;
    }

    void Click(int id) { ::SendMessageW(Item(id), BM_CLICK, 0, 0); }

    std::vector<std::wstring> Items(int listId) const {
        std::vector<std::wstring> items;
        HWND list = Item(listId);
        const LRESULT n = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t buf[256] = L"";
            ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
            items.push_back(buf);
        }
        return items;
    }
    int Selection(int listId) const { return static_cast<int>(::SendMessageW(Item(listId), CB_GETCURSEL, 0, 0)); }

    std::wstring ini;
    std::unique_ptr<CTarvel_APDlg> dlg;
};

}  // namespace

TEST_F(MainDialogTest, FreshStartSelectsTheFirstRecordAndDisablesThePortAndJobButtons) {
    Start();
    EXPECT_EQ(dlg->IspParam->PartIndex, 0);
    EXPECT_EQ(Text(Item(IDC_PART_LIST)), dlg->BodyTable[0].PartName);
    EXPECT_EQ(Text(dlg->m_hWnd), L"Tessaro Tarvel v1.0.0.7");
    EXPECT_TRUE(Enabled(IDC_OPEN_PORT));
    for (int id : {IDC_CLOSE_PORT, IDC_DUMP_INFO, IDC_UPDATE, IDC_REPEAT_UPDATE}) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(dlg->LastFolder.empty());
    EXPECT_EQ(dlg->IspParam->StatusCell->load(), 0xFFFF);

    HMENU sys = ::GetSystemMenu(dlg->m_hWnd, FALSE);
    wchar_t text[128] = L"";
    ::GetMenuStringW(sys, 8, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Language");
    HMENU language = ::GetSubMenu(sys, 8);
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(::GetMenuState(language, 0x20, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(::GetMenuState(language, 0x30, MF_BYCOMMAND) & MF_CHECKED, 0u);
    // Save As right after "Language".
    EXPECT_EQ(::GetMenuItemID(sys, 9), 0x40u);
    EXPECT_EQ(::GetMenuItemID(sys, 10), 0x50u);
    ::GetMenuStringW(sys, 9, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Save Flash buffer as...");
    ::GetMenuStringW(sys, 10, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Save EEPROM buffer as...");
    const int last = ::GetMenuItemCount(sys) - 1;
    EXPECT_EQ(::GetMenuItemID(sys, last), 0x10u);
    ::GetMenuStringW(sys, static_cast<UINT>(last), text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"更新 Tarvel_AP(&A)...");
}

TEST_F(MainDialogTest, PartChangeSetsOptionBoxesEepromTabAndResetsOptionBitsButNotSetupFlags) {
    Start();
    HWND tab = Item(IDC_TAB);

    HMENU sys = ::GetSystemMenu(dlg->m_hWnd, FALSE);
    ChoosePart(L"T10N4");  // no options, no EEPROM
    EXPECT_EQ(TabCtrl_GetItemCount(tab), 1);
    EXPECT_EQ(::GetMenuState(sys, 0x50, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(::GetMenuState(sys, 0x40, MF_BYCOMMAND) & MF_GRAYED, 0u);
    for (int n = 0; n < 8; ++n) {
        EXPECT_FALSE(Enabled(IDC_OPTION0 + n));
        EXPECT_EQ(Text(Item(IDC_OPTION0 + n)), L"");
    }

    const int k = ChoosePart(L"T20G8");  // three options, EEPROM
    EXPECT_EQ(dlg->IspParam->PartIndex, k);
    EXPECT_EQ(TabCtrl_GetItemCount(tab), 2);
    EXPECT_EQ(::GetMenuState(sys, 0x50, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_EQ(Text(Item(IDC_OPTION0)), L"Reset pin as GPIO");
    EXPECT_TRUE(Enabled(IDC_OPTION2));
    EXPECT_FALSE(Enabled(IDC_OPTION3));
    EXPECT_EQ(Text(Item(IDC_OPTION3)), L"");

    ChoosePart(L"T30C64");  // EEPROM again: still exactly one EEPROM tab
    EXPECT_EQ(TabCtrl_GetItemCount(tab), 2);

    Click(IDC_OPTION1);
    Click(IDC_OPTION7);
    Click(IDC_ERASE_BY_SIZE);
    EXPECT_EQ(dlg->IspParam->OptionBits, 0x82);
    EXPECT_EQ(dlg->IspParam->SetupFlags, 1);
    Click(IDC_OPTION7);
    EXPECT_EQ(dlg->IspParam->OptionBits, 0x02);

    const BYTE bytes[40] = {1, 2, 3};
    ASSERT_TRUE(dlg->FlashPage.HexEdit.SetBuffer(bytes, sizeof bytes));
    ASSERT_TRUE(dlg->EepromPage.HexEdit.SetBuffer(bytes, 8));
    dlg->FlashPage.SetBoxes(L"C:\\fw.hex", L"40", L"0006");
    ChoosePart(L"T40F512");
    EXPECT_EQ(dlg->FlashPage.HexEdit.GetBufferLength(), 0u);
    EXPECT_EQ(dlg->EepromPage.HexEdit.GetBufferLength(), 0u);
    EXPECT_EQ(Text(::GetDlgItem(dlg->FlashPage.m_hWnd, IDC_FLASH_PATH)), L"");
    EXPECT_EQ(dlg->IspParam->OptionBits, 0);
    EXPECT_EQ(dlg->IspParam->SetupFlags, 1);
    EXPECT_EQ(::SendMessageW(Item(IDC_OPTION1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(::SendMessageW(Item(IDC_ERASE_BY_SIZE), BM_GETCHECK, 0, 0), BST_CHECKED);
}

// The COM ports are listed just after the window is ready (which needs the
// modal loop, not run here) or as soon as the list is opened, whichever
// comes first, and only once.
TEST_F(MainDialogTest, OpeningThePortListListsTheComPortsOnceAndKeepsTheAdapterChosen) {
    Start();
    EXPECT_EQ(Items(IDC_PORT_LIST), std::vector<std::wstring>{L"KV707"});
    EXPECT_EQ(Selection(IDC_PORT_LIST), 0);

    std::vector<std::wstring> expected{L"KV707"};
    for (int n = 1; n <= 256; ++n) {
        const std::wstring name = L"COM" + std::to_wstring(n);
        const HANDLE port = ::CreateFileW((L"\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (port == INVALID_HANDLE_VALUE) continue;
        ::CloseHandle(port);
        expected.push_back(name);
    }
    for (int opened = 0; opened < 2; ++opened) {
        ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, CBN_DROPDOWN),
                       reinterpret_cast<LPARAM>(Item(IDC_PORT_LIST)));
        EXPECT_EQ(Items(IDC_PORT_LIST), expected);
        EXPECT_EQ(Selection(IDC_PORT_LIST), 0);
    }
}

TEST_F(MainDialogTest, RateListsFollowThePartClassAndKeepTheirChoiceWithinAClass) {
    Start();
    ChoosePart(L"TV8052B64");  // class 0 on the adapter
    EXPECT_EQ(Items(IDC_BAUDRATE_LIST), (std::vector<std::wstring>{L"Auto", L"4800", L"9600", L"19200", L"38400",
                                                                   L"51200", L"57600", L"102400", L"115200"}));
    EXPECT_EQ(Items(IDC_CHECKRATE_LIST), (std::vector<std::wstring>{L"4800", L"9600"}));

    ::SendMessageW(Item(IDC_BAUDRATE_LIST), CB_SETCURSEL, 3, 0);
    ChoosePart(L"T30C64");  // same class: lists and choice stay
    EXPECT_EQ(Selection(IDC_BAUDRATE_LIST), 3);

    ChoosePart(L"TV8051A16");  // class 1: fixed 115200
    EXPECT_EQ(Items(IDC_BAUDRATE_LIST), std::vector<std::wstring>{L"115200"});
    EXPECT_EQ(Items(IDC_CHECKRATE_LIST), std::vector<std::wstring>{L"115200"});

    ChoosePart(L"T30C64");  // back to class 0: full lists, first entries
    EXPECT_EQ(Items(IDC_BAUDRATE_LIST).front(), L"Auto");
    EXPECT_EQ(Selection(IDC_BAUDRATE_LIST), 0);
    EXPECT_EQ(Selection(IDC_CHECKRATE_LIST), 0);
}

TEST_F(MainDialogTest, LogLinesAreNumberedClearRestartsAtZeroAndLongLogsKeepEveryAppend) {
    Start();
    dlg->Log.LogHeading(texts::kOpenPort);
    dlg->Log.Append(dlg->LangText(texts::kPass));
    dlg->Log.LogElapsed(::GetTickCount());
    EXPECT_EQ(Text(Item(IDC_LOG)), L"000 - Open Port =>Pass   [0.000\"]\r\n");

    dlg->Log.LogHeading(texts::kLoadFile);
    dlg->Log.Append(dlg->LangText(texts::kRepowerPrompt));
    dlg->Log.EraseTail(21);
    EXPECT_EQ(Text(Item(IDC_LOG)), L"000 - Open Port =>Pass   [0.000\"]\r\n001 - Load File =>");

    Click(IDC_CLEAR_MESSAGE);
    EXPECT_EQ(Text(Item(IDC_LOG)), L"");
    dlg->Log.LogHeading(texts::kClosePort);
    EXPECT_EQ(Text(Item(IDC_LOG)), L"000 - Close Port =>");

    // Far past the edit control's default limit of about 32 K characters.
    const std::wstring line(99, L'x');
    for (int i = 0; i < 400; ++i) dlg->Log.Append((line + L"\n").c_str());
    dlg->Log.Append(L"END");
    const std::wstring all = Text(Item(IDC_LOG));
    EXPECT_GT(all.size(), 40000u);
    EXPECT_EQ(all.substr(all.size() - 3), L"END");
}

TEST_F(MainDialogTest, TabsSwitchPagesAndModifyAndReloadBoxesExcludeEachOther) {
    Start();
    ChoosePart(L"T30C64");
    HWND tab = Item(IDC_TAB);
    TabCtrl_SetCurSel(tab, 1);
    NMHDR hdr{tab, IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
    ::SendMessageW(dlg->m_hWnd, WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&hdr));
    EXPECT_EQ(dlg->CurrentTab, 1);
    EXPECT_TRUE(::IsWindowVisible(dlg->EepromPage.m_hWnd) || !::IsWindowVisible(dlg->m_hWnd));
    EXPECT_FALSE(::GetWindowLongW(dlg->FlashPage.m_hWnd, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(::GetWindowLongW(dlg->EepromPage.m_hWnd, GWL_STYLE) & WS_VISIBLE);

    EXPECT_TRUE(dlg->FlashPage.HexEdit.IsReadOnly());
    Click(IDC_ENABLE_MODIFY);
    EXPECT_FALSE(Enabled(IDC_AUTO_RELOAD));
    EXPECT_FALSE(dlg->FlashPage.HexEdit.IsReadOnly());
    EXPECT_FALSE(dlg->EepromPage.HexEdit.IsReadOnly());
    Click(IDC_ENABLE_MODIFY);
    EXPECT_TRUE(Enabled(IDC_AUTO_RELOAD));
    EXPECT_TRUE(dlg->FlashPage.HexEdit.IsReadOnly());
    EXPECT_TRUE(dlg->EepromPage.HexEdit.IsReadOnly());
    Click(IDC_AUTO_RELOAD);
    EXPECT_EQ(dlg->AutoReload, 1);
    EXPECT_FALSE(Enabled(IDC_ENABLE_MODIFY));
    Click(IDC_AUTO_RELOAD);
    EXPECT_EQ(dlg->AutoReload, 0);
    EXPECT_TRUE(Enabled(IDC_ENABLE_MODIFY));

    // A part change brings the Flash page back.
    ChoosePart(L"T20G8");
    EXPECT_EQ(dlg->CurrentTab, 0);
    EXPECT_EQ(TabCtrl_GetCurSel(tab), 0);
    EXPECT_TRUE(::GetWindowLongW(dlg->FlashPage.m_hWnd, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(MainDialogTest, LanguageSwitchRelabelsWritesTheSettingAndLeavesOptionCaptions) {
    Start();
    ChoosePart(L"T20G8");
    ::SendMessageW(dlg->m_hWnd, WM_SYSCOMMAND, 0x30, 0);
    EXPECT_EQ(dlg->Language, 1);
    EXPECT_EQ(Text(dlg->m_hWnd), L"泰索科技 Tarvel v1.0.0.7");
    EXPECT_EQ(Text(Item(IDC_GROUP_MCU_TYPE)), L"芯片");
    EXPECT_EQ(Text(Item(IDC_LABEL_BAUDRATE)), L"下载波特率 : ");
    EXPECT_EQ(Text(Item(IDC_EXIT)), L"离开");
    EXPECT_EQ(Text(Item(IDC_OPTION0)), L"Reset pin as GPIO");  // until the next part change
    EXPECT_EQ(::GetPrivateProfileIntW(L"Setting", L"Language", -1, ini.c_str()), 1);
    HMENU language = ::GetSubMenu(::GetSystemMenu(dlg->m_hWnd, FALSE), 8);
    EXPECT_EQ(::GetMenuState(language, 0x30, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(::GetMenuState(language, 0x20, MF_BYCOMMAND) & MF_CHECKED, 0u);

    ChoosePart(L"T30C64");
    EXPECT_EQ(Text(Item(IDC_OPTION0)), L"复位脚作为GPIO");
}

TEST_F(MainDialogTest, LanguageTwoInTheFileGivesChineseWithEnglishStillChecked) {
    ::WritePrivateProfileStringW(L"Setting", L"Language", L"2", ini.c_str());
    Start();
    EXPECT_EQ(Text(Item(IDC_LOAD_FILE)), L"打开文件");
    HMENU language = ::GetSubMenu(::GetSystemMenu(dlg->m_hWnd, FALSE), 8);
    EXPECT_EQ(::GetMenuState(language, 0x20, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
}

TEST_F(MainDialogTest, SavedPartWithTwoFamilyBitsStartsOnThePartTheListsShow) {
    // HX1280D carries two family bits and is listed under no family.
    int twoBits = -1;
    {
        Start();
        for (std::uint32_t k = 0; k < dlg->BodyCount; ++k)
            if (std::wstring(dlg->BodyTable[k].PartName) == L"HX1280D") twoBits = static_cast<int>(k);
        dlg.reset();
    }
    ASSERT_GE(twoBits, 0);
    ::WritePrivateProfileStringW(L"Setting", L"LastPartNo", std::to_wstring(twoBits).c_str(), ini.c_str());
    Start();
    const int shown = dlg->IspParam->PartIndex;
    ASSERT_GE(shown, 0);
    EXPECT_EQ(Text(Item(IDC_PART_LIST)), dlg->BodyTable[shown].PartName);
}

TEST_F(MainDialogTest, ExitWritesPartAndFolderButNotWhileExitIsDisabled) {
    Start();
    const int k = ChoosePart(L"T30C128");
    // A running job disables "Exit"; Escape (IDCANCEL) must not end the tool then.
    ::EnableWindow(Item(IDC_EXIT), FALSE);
    ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(::GetPrivateProfileIntW(L"Setting", L"LastPartNo", -7, ini.c_str()), -7);

    ::EnableWindow(Item(IDC_EXIT), TRUE);
    ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(::GetPrivateProfileIntW(L"Setting", L"LastPartNo", -7, ini.c_str()), k);
    wchar_t folder[64] = L"";
    ::GetPrivateProfileStringW(L"Setting", L"LoadFilePath", L"<missing>", folder, 64, ini.c_str());
    EXPECT_STREQ(folder, L"");
}
