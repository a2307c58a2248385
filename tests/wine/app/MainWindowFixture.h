// The main window in process, for the Wine tests of app/: created from its
// template with the stand-in library beside the test program, a Setting.ini
// there removed before and after each test, and the gestures the tests use
// to drive it (choosing from a list as the list itself would tell the window).
#pragma once

#include "app/Tarvel_APDlg.h"
#include "isp/LibraryBinding.h"
#include "res/resource.h"
#include "text/UiText.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

class MainWindowTest : public ::testing::Test {
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

    // Creates the window (modeless: the test runs its messages).
    void Start() {
        dlg = std::make_unique<CTarvel_APDlg>();
        ASSERT_TRUE(dlg->Create(IDD_TARVEL_AP_DIALOG, nullptr));
    }

    HWND Item(int id) const { return ::GetDlgItem(dlg->m_hWnd, id); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }

    // Selects the list's item of that text and tells the window.
    void Choose(int listId, const std::wstring& text) {
        HWND list = Item(listId);
        const LRESULT i =
            ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
        ASSERT_NE(i, CB_ERR) << "no item";
        ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }

    // Chooses the family of the part's lowest family bit, then the part.
    // Returns the part's record index.
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

    std::wstring ini;
    std::unique_ptr<CTarvel_APDlg> dlg;
};
