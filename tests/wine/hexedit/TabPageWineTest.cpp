// The "Flash" and "EEPROM" buffer pages from the tool's own templates, placed
// in a tab control as the main window places them.
#include "buffers/TabPage.h"

#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void Pump(HWND dialog) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (WalkPreTranslateTree(&msg)) continue;
        if (dialog && ::IsDialogMessageW(dialog, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::string CopyText(CHexEditBase& view) {
    view.SelectAll();
    view.Copy();
    std::string text;
    if (!::OpenClipboard(nullptr)) return text;
    if (HANDLE h = ::GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(::GlobalLock(h));
        ::GlobalUnlock(h);
    }
    ::CloseClipboard();
    return text;
}

class BufferPages : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        host = ::CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"pages", WS_POPUP | WS_VISIBLE, 0, 0, 760, 400,
                                 nullptr, nullptr, nullptr, nullptr);
        tab = ::CreateWindowExW(WS_EX_CONTROLPARENT, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 10,
                                10, 730, 360, host, nullptr, nullptr, nullptr);
        ASSERT_TRUE(flash.Create(IDD_TAB_FLASH, tab));
        ASSERT_TRUE(eeprom.Create(IDD_TAB_EEPROM, tab));
        ::ShowWindow(eeprom, SW_HIDE);
        Pump(flash);
    }
    void TearDown() override {
        if (host) ::DestroyWindow(host);
        Pump(nullptr);
    }
    static COLORREF CornerColour(CHexEditBase& view) {
        ::RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = ::GetDC(view);
        const COLORREF c = ::GetPixel(dc, 2, 2);
        ::ReleaseDC(view, dc);
        return c;
    }

    HWND host = nullptr;
    HWND tab = nullptr;
    CTabDlg_Flash flash;
    CTabDlg_EEPROM eeprom;
};

}  // namespace

TEST_F(BufferPages, StartEmptyGreyAndReadOnlyWithSixDigitRowsOfSixteen) {
    for (CBufferTabPage* page : {static_cast<CBufferTabPage*>(&flash), static_cast<CBufferTabPage*>(&eeprom)}) {
        CHexEditBase& view = page->Editor();
        EXPECT_EQ(view.GetSafeHwnd(), page->GetDlgItem(IDC_HEXEDIT));
        EXPECT_EQ(view.GetBufferLength(), 0u);
        EXPECT_TRUE(view.IsReadOnly());
        EXPECT_EQ(CornerColour(view), RGB(200, 200, 200));
        EXPECT_EQ(page->GetDlgItemText(page->Ids().path), L"");
        std::vector<BYTE> bytes(20);
        for (int i = 0; i < 20; ++i) bytes[i] = static_cast<BYTE>(i);
        ASSERT_TRUE(view.SetBuffer(bytes.data(), 20));
        char address[hexedit::kAddressTextSize];
        view.Model().FormatAddress(1, address);
        EXPECT_STREQ(address, "000010");
        EXPECT_EQ(CopyText(view), "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n10 11 12 13\n");
        ::SetFocus(view);
        view.SendMessage(WM_CHAR, '7');  // read-only: nothing changes
        BYTE first = 0xEE;
        view.CopyBuffer(&first, 1);
        EXPECT_EQ(first, 0);
    }
}

TEST_F(BufferPages, EnableModifySwitchesBetweenWhiteEditableAndGreyReadOnly) {
    BYTE bytes[4] = {0, 0, 0, 0};
    ASSERT_TRUE(flash.HexEdit.SetBuffer(bytes, 4));
    flash.SetEditable(true);
    eeprom.SetEditable(true);
    EXPECT_EQ(CornerColour(flash.HexEdit), RGB(255, 255, 255));
    EXPECT_FALSE(eeprom.HexEdit.IsReadOnly());
    ::SetFocus(flash.HexEdit);
    flash.HexEdit.SendMessage(WM_CHAR, 'a');
    flash.HexEdit.SendMessage(WM_CHAR, '5');
    flash.HexEdit.CopyBuffer(bytes, 4);
    EXPECT_EQ(bytes[0], 0xA5);
    EXPECT_TRUE(::IsWindow(flash));  // the page ignores the change notification

    flash.SetEditable(false);
    EXPECT_EQ(CornerColour(flash.HexEdit), RGB(200, 200, 200));
    flash.HexEdit.SendMessage(WM_CHAR, '1');
    flash.HexEdit.CopyBuffer(bytes, 4);
    EXPECT_EQ(bytes[1], 0x00);
}

TEST_F(BufferPages, LabelsAndBoxesUseEachPagesOwnIds) {
    flash.SetLabels(L"FileSize : ", L"CheckSum : ");
    eeprom.SetLabels(L"文件大小 : ", L"检验和 : ");
    EXPECT_EQ(flash.GetDlgItemText(IDC_FLASH_SIZE_LABEL), L"FileSize : ");
    EXPECT_EQ(flash.GetDlgItemText(IDC_FLASH_SUM_LABEL), L"CheckSum : ");
    EXPECT_EQ(eeprom.GetDlgItemText(IDC_EEPROM_SIZE_LABEL), L"文件大小 : ");
    EXPECT_EQ(eeprom.GetDlgItemText(IDC_EEPROM_SUM_LABEL), L"检验和 : ");

    eeprom.SetBoxes(L"C:\\fw\\data.bin (Mixed file)", L"65535", L"FF01");
    EXPECT_EQ(eeprom.GetDlgItemText(IDC_EEPROM_PATH), L"C:\\fw\\data.bin (Mixed file)");
    EXPECT_EQ(eeprom.GetDlgItemText(IDC_EEPROM_SIZE), L"65535");
    EXPECT_EQ(eeprom.GetDlgItemText(IDC_EEPROM_SUM), L"FF01");
    EXPECT_EQ(flash.GetDlgItemText(IDC_FLASH_SIZE), L"");
    eeprom.ClearBoxes();
    EXPECT_EQ(eeprom.GetDlgItemText(IDC_EEPROM_PATH), L"");
    EXPECT_EQ(eeprom.GetDlgItemText(IDC_EEPROM_SUM), L"");
}

TEST_F(BufferPages, EnterAndEscapeInTheViewStayWithTheView) {
    BYTE bytes[40] = {};
    ASSERT_TRUE(flash.HexEdit.SetBuffer(bytes, 40));
    ::SetFocus(flash.HexEdit);
    for (WPARAM key : {WPARAM(VK_RETURN), WPARAM(VK_ESCAPE)}) {
        ::PostMessageW(flash.HexEdit, WM_KEYDOWN, key, 0);
        Pump(flash);
    }
    EXPECT_TRUE(::IsWindow(flash));
    EXPECT_EQ(::GetFocus(), flash.HexEdit.GetSafeHwnd());
    ::PostMessageW(flash.HexEdit, WM_KEYDOWN, VK_DOWN, 0);
    Pump(flash);
    EXPECT_EQ(flash.HexEdit.GetCaretIndex(), 16u);
}
