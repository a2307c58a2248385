// The main window in process: created from its template with the stand-in
// library, driven with the messages its controls send.
#include "framework/Handles.h"
#include "tests/wine/app/MainWindowFixture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::wstring Text(HWND hwnd) { return CWnd::GetWindowText(hwnd); }

// Paints what waits to be painted in the window and its children.
void PaintPending(HWND window) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The pixels of the window's client area inside rc, as the window shows
// them now.
std::vector<std::uint32_t> Pixels(HWND window, const RECT& rc) {
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    ClientDC dc(window);
    MemoryDC copy(dc.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject<HBITMAP> bitmap(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return {};
    {
        SelectGuard into(copy.get(), bitmap.get());
        ::BitBlt(copy.get(), 0, 0, width, height, dc.get(), rc.left, rc.top, SRCCOPY);
    }
    ::GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    return std::vector<std::uint32_t>(first, first + static_cast<std::size_t>(width) * height);
}

class MainDialogTest : public MainWindowTest {
protected:
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
    EXPECT_EQ(::GetMenuState(language, IDM_LANGUAGE_ENGLISH, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(::GetMenuState(language, IDM_LANGUAGE_CHINESE, MF_BYCOMMAND) & MF_CHECKED, 0u);
    // Save As right after "Language".
    EXPECT_EQ(::GetMenuItemID(sys, 9), static_cast<UINT>(IDM_SAVE_FLASH));
    EXPECT_EQ(::GetMenuItemID(sys, 10), static_cast<UINT>(IDM_SAVE_EEPROM));
    ::GetMenuStringW(sys, 9, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Save Flash buffer as...");
    ::GetMenuStringW(sys, 10, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Save EEPROM buffer as...");
    const int last = ::GetMenuItemCount(sys) - 1;
    EXPECT_EQ(::GetMenuItemID(sys, last), static_cast<UINT>(IDM_ABOUTBOX));
    ::GetMenuStringW(sys, static_cast<UINT>(last), text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"更新 Tarvel_AP(&A)...");
}

TEST_F(MainDialogTest, PartChangeSetsOptionBoxesEepromTabAndResetsOptionBitsButNotSetupFlags) {
    Start();
    HWND tab = Item(IDC_TAB);

    HMENU sys = ::GetSystemMenu(dlg->m_hWnd, FALSE);
    ChoosePart(L"T10N4");  // no options, no EEPROM
    EXPECT_EQ(TabCtrl_GetItemCount(tab), 1);
    EXPECT_EQ(::GetMenuState(sys, IDM_SAVE_EEPROM, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(::GetMenuState(sys, IDM_SAVE_FLASH, MF_BYCOMMAND) & MF_GRAYED, 0u);
    for (int n = 0; n < 8; ++n) {
        EXPECT_FALSE(Enabled(IDC_OPTION0 + n));
        EXPECT_EQ(Text(Item(IDC_OPTION0 + n)), L"");
    }

    const int k = ChoosePart(L"T20G8");  // three options, EEPROM
    EXPECT_EQ(dlg->IspParam->PartIndex, k);
    EXPECT_EQ(TabCtrl_GetItemCount(tab), 2);
    EXPECT_EQ(::GetMenuState(sys, IDM_SAVE_EEPROM, MF_BYCOMMAND) & MF_GRAYED, 0u);
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
    EXPECT_EQ(dlg->CurrentBuffer, CodeBuffer::Eeprom);
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
    EXPECT_TRUE(dlg->AutoReload());
    EXPECT_FALSE(Enabled(IDC_ENABLE_MODIFY));
    Click(IDC_AUTO_RELOAD);
    EXPECT_FALSE(dlg->AutoReload());
    EXPECT_TRUE(Enabled(IDC_ENABLE_MODIFY));

    // A part change brings the Flash page back.
    ChoosePart(L"T20G8");
    EXPECT_EQ(dlg->CurrentBuffer, CodeBuffer::Flash);
    EXPECT_EQ(TabCtrl_GetCurSel(tab), 0);
    EXPECT_TRUE(::GetWindowLongW(dlg->FlashPage.m_hWnd, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(MainDialogTest, LanguageSwitchRelabelsWritesTheSettingAndLeavesOptionCaptions) {
    Start();
    ChoosePart(L"T20G8");
    ::SendMessageW(dlg->m_hWnd, WM_SYSCOMMAND, IDM_LANGUAGE_CHINESE, 0);
    EXPECT_EQ(dlg->Language, 1);
    EXPECT_EQ(Text(dlg->m_hWnd), L"泰索科技 Tarvel v1.0.0.7");
    EXPECT_EQ(Text(Item(IDC_GROUP_MCU_TYPE)), L"芯片");
    EXPECT_EQ(Text(Item(IDC_LABEL_BAUDRATE)), L"下载波特率 : ");
    EXPECT_EQ(Text(Item(IDC_EXIT)), L"离开");
    EXPECT_EQ(Text(Item(IDC_OPTION0)), L"Reset pin as GPIO");  // until the next part change
    EXPECT_EQ(::GetPrivateProfileIntW(L"Setting", L"Language", -1, ini.c_str()), 1);
    HMENU language = ::GetSubMenu(::GetSystemMenu(dlg->m_hWnd, FALSE), 8);
    EXPECT_EQ(::GetMenuState(language, IDM_LANGUAGE_CHINESE, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(::GetMenuState(language, IDM_LANGUAGE_ENGLISH, MF_BYCOMMAND) & MF_CHECKED, 0u);

    ChoosePart(L"T30C64");
    EXPECT_EQ(Text(Item(IDC_OPTION0)), L"复位脚作为GPIO");
}

TEST_F(MainDialogTest, LanguageTwoInTheFileGivesChineseWithEnglishStillChecked) {
    ::WritePrivateProfileStringW(L"Setting", L"Language", L"2", ini.c_str());
    Start();
    EXPECT_EQ(Text(Item(IDC_LOAD_FILE)), L"打开文件");
    HMENU language = ::GetSubMenu(::GetSystemMenu(dlg->m_hWnd, FALSE), 8);
    EXPECT_EQ(::GetMenuState(language, IDM_LANGUAGE_ENGLISH, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
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

// A check box draws its caption over what lies under it: "Enable Modify
// Buffer" stands on the frame of the "Code Buffer" group. After a switch of
// language it must look as a window painted afresh does, with no trace of
// the old caption.
TEST_F(MainDialogTest, ALanguageSwitchLeavesNoTraceOfTheOldCaptionUnderTheModifyBox) {
    Start();
    ::ShowWindow(dlg->m_hWnd, SW_SHOW);
    PaintPending(dlg->m_hWnd);
    RECT box{};
    ::GetWindowRect(Item(IDC_ENABLE_MODIFY), &box);
    ::MapWindowPoints(nullptr, dlg->m_hWnd, reinterpret_cast<POINT*>(&box), 2);
    ASSERT_GT(box.right - box.left, 0);
    for (UINT language : {IDM_LANGUAGE_CHINESE, IDM_LANGUAGE_ENGLISH}) {
        SCOPED_TRACE(language == IDM_LANGUAGE_CHINESE ? "to Chinese" : "to English");
        ::SendMessageW(dlg->m_hWnd, WM_SYSCOMMAND, language, 0);
        PaintPending(dlg->m_hWnd);
        const std::vector<std::uint32_t> shown = Pixels(dlg->m_hWnd, box);
        ::RedrawWindow(dlg->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        PaintPending(dlg->m_hWnd);
        const std::vector<std::uint32_t> fresh = Pixels(dlg->m_hWnd, box);
        ASSERT_EQ(shown.size(), fresh.size());
        ASSERT_FALSE(fresh.empty());
        std::size_t differ = 0;
        for (std::size_t i = 0; i < shown.size(); ++i) differ += (shown[i] & 0xFFFFFF) != (fresh[i] & 0xFFFFFF);
        EXPECT_EQ(differ, 0u) << "pixels that a fresh paint draws otherwise";
    }
}
