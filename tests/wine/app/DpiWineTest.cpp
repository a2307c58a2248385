// The main window at the display's scale, in process. The test runs once per
// dpi (run-at-dpi.sh sets it in the Wine prefix before the program starts and
// names it in TARVEL_TEST_DPI): the window grows with the scale, every
// caption fits its control in both languages, the hex editor's font and
// margins follow the scale, and the banner is drawn at it.
#include "framework/Dpi.h"
#include "framework/Handles.h"
#include "tests/wine/app/MainWindowFixture.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

int ExpectedDpi() {
    const char* text = std::getenv("TARVEL_TEST_DPI");
    return text ? std::atoi(text) : dpi::kBase;
}

// The client size of the main window at 96 dpi under the dialog font
// (template 434 x 391 dialog units); the window at another scale has this
// size times the scale, give or take the rounding of the font's metrics.
constexpr int kClientWidth96 = 651, kClientHeight96 = 635;

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = L"";
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

// The text as the control draws it: "&" marks the next letter, "&&" is one.
std::wstring Drawn(const std::wstring& text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

struct Misfit {
    int id;
    std::wstring text;
    int needed;
    int width;
};

// Every shown button, check box, group box and label of a window whose
// caption does not fit: the caption's extent in the control's own font,
// plus what the control draws beside it, against the control's width.
void CollectMisfits(HWND parent, int dpi, std::vector<Misfit>& misfits) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        const std::wstring cls = ClassOf(child);
        if (cls == L"#32770") {
            CollectMisfits(child, dpi, misfits);
            continue;
        }
        if (cls == L"SysTabControl32") {
            CollectMisfits(child, dpi, misfits);
            continue;
        }
        if (cls != L"Button" && cls != L"Static") continue;
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if (cls == L"Static" && (style & SS_TYPEMASK) == SS_BITMAP) continue;
        const std::wstring text = Drawn(CWnd::GetWindowText(child));
        if (text.empty()) continue;

        ClientDC dc(child);
        SelectGuard font(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0)));
        SIZE extent{};
        ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
        int beside = 0;
        if (cls == L"Button") {
            switch (style & BS_TYPEMASK) {
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON:
            case BS_3STATE:
            case BS_AUTO3STATE:
                // The box and the gap before the text.
                beside = ::GetSystemMetrics(SM_CXMENUCHECK) + dpi::Scale(4, dpi);
                break;
            case BS_GROUPBOX:
                // The frame's corner and a blank each side of the caption.
                beside = dpi::Scale(10, dpi);
                break;
            default:
                // The push button's edges.
                beside = dpi::Scale(6, dpi);
                break;
            }
        }
        RECT rc{};
        ::GetClientRect(child, &rc);
        if (extent.cx + beside > rc.right)
            misfits.push_back(
                {::GetDlgCtrlID(child), text, static_cast<int>(extent.cx + beside), static_cast<int>(rc.right)});
    }
}

class DpiTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(Start());
        ::ShowWindow(dlg->m_hWnd, SW_SHOW);
        ::UpdateWindow(dlg->m_hWnd);
        dpiNow = dpi::ForWindow(dlg->m_hWnd);
        // Wine must have taken the prefix's value, or nothing below means
        // what it says.
        ASSERT_EQ(dpiNow, ExpectedDpi()) << "the display's dpi set in the prefix did not reach the program";
    }
    int dpiNow = dpi::kBase;
};

}  // namespace

TEST_F(DpiTest, TheWindowGrowsWithTheScale) {
    RECT rc{};
    ::GetClientRect(dlg->m_hWnd, &rc);
    const double scale = dpiNow / 96.0;
    std::printf("dpi %d: client %ld x %ld\n", dpiNow, rc.right, rc.bottom);
    // Dialog units follow the font's whole-pixel metrics: at 120 dpi the
    // 8-point font is 13 px high rather than 13.3, and the window comes out
    // about 7 % under the exact scale.
    EXPECT_NEAR(rc.right, kClientWidth96 * scale, kClientWidth96 * scale * 0.1);
    EXPECT_NEAR(rc.bottom, kClientHeight96 * scale, kClientHeight96 * scale * 0.1);
    // Never smaller than at 96 dpi, which would clip what fits there.
    EXPECT_GE(rc.right, kClientWidth96);
    EXPECT_GE(rc.bottom, kClientHeight96);
}

TEST_F(DpiTest, EveryCaptionFitsItsControlInBothLanguages) {
    ChoosePart(L"T20G8");  // three option boxes with captions
    for (UINT language : {IDM_LANGUAGE_ENGLISH, IDM_LANGUAGE_CHINESE}) {
        ::SendMessageW(dlg->m_hWnd, WM_SYSCOMMAND, language, 0);
        std::vector<Misfit> misfits;
        CollectMisfits(dlg->m_hWnd, dpiNow, misfits);
        for (const Misfit& m : misfits)
            ADD_FAILURE() << "control " << m.id << " needs " << m.needed << " px, has " << m.width << " (language "
                          << (language == IDM_LANGUAGE_ENGLISH ? "English" : "Chinese") << ")";
    }
}

TEST_F(DpiTest, TheHexEditorsFontAndMarginsFollowTheScale) {
    const BYTE bytes[512] = {};
    ASSERT_TRUE(dlg->FlashPage.HexEdit.SetBuffer(bytes, sizeof bytes));
    ::UpdateWindow(dlg->FlashPage.HexEdit.m_hWnd);
    ::RedrawWindow(dlg->FlashPage.HexEdit.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const hexedit::Layout& l = dlg->FlashPage.HexEdit.Model().GetLayout();

    // The 96-dpi line: the stock fixed font's.
    ClientDC screen(nullptr);
    SIZE digit{};
    {
        SelectGuard font(screen.get(), ::GetStockObject(ANSI_FIXED_FONT));
        ::GetTextExtentPoint32A(screen.get(), "0", 1, &digit);
    }
    std::printf("dpi %d: line %d (96 dpi: %ld), char %d, margin %d, rows %u\n", dpiNow, l.lineHeight, digit.cy,
                l.charWidth, l.margin, l.fullRows);
    EXPECT_EQ(l.margin, dpi::Scale(hexedit::kMargin, dpiNow));
    if (dpiNow == dpi::kBase) {
        EXPECT_EQ(l.lineHeight, digit.cy);
        EXPECT_EQ(l.charWidth, digit.cx);
    } else {
        const double wanted = digit.cy * dpiNow / 96.0;
        EXPECT_NEAR(l.lineHeight, wanted, wanted * 0.25);
    }
    // So about as many rows show at every scale.
    RECT client{};
    ::GetClientRect(dlg->FlashPage.HexEdit.m_hWnd, &client);
    const double rows96 = (client.bottom * 96.0 / dpiNow - 10) / digit.cy;
    EXPECT_NEAR(l.fullRows, rows96, rows96 * 0.3);
}

TEST_F(DpiTest, TheBannerIsDrawnAtTheScale) {
    HWND picture = Item(IDC_BANNER);
    const HBITMAP shown = reinterpret_cast<HBITMAP>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(shown, nullptr);
    BITMAP info{};
    ASSERT_EQ(::GetObjectW(shown, sizeof info, &info), static_cast<int>(sizeof info));
    RECT rc{};
    ::GetClientRect(picture, &rc);
    if (dpiNow == dpi::kBase) {
        // The bitmap itself, centred and clipped as ever.
        EXPECT_EQ(info.bmWidth, 1534);
        EXPECT_EQ(info.bmHeight, 290);
    } else {
        EXPECT_EQ(info.bmWidth, rc.right);
        EXPECT_EQ(info.bmHeight, rc.bottom);
    }
}

TEST_F(DpiTest, TheIconsComeInTheSizesTheScaleAsksFor) {
    for (auto [which, cx] : {std::pair<WPARAM, int>{ICON_BIG, ::GetSystemMetrics(SM_CXICON)},
                             std::pair<WPARAM, int>{ICON_SMALL, ::GetSystemMetrics(SM_CXSMICON)}}) {
        const HICON icon = reinterpret_cast<HICON>(::SendMessageW(dlg->m_hWnd, WM_GETICON, which, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        GdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
        BITMAP bm{};
        ::GetObjectW(color ? color.get() : mask.get(), sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, cx) << (which == ICON_BIG ? "large" : "small");
    }
}

TEST_F(DpiTest, AChangeOfDpiMovesToTheSuggestedPlaceAndLaysThePixelPartsOutAgain) {
    RECT before{};
    ::GetWindowRect(dlg->m_hWnd, &before);
    const RECT suggested{before.left + 30, before.top + 20, before.right + 30, before.bottom + 20};
    ::SendMessageW(dlg->m_hWnd, dpi::kMsgDpiChanged, MAKEWPARAM(dpiNow, dpiNow), reinterpret_cast<LPARAM>(&suggested));
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    RECT after{};
    ::GetWindowRect(dlg->m_hWnd, &after);
    EXPECT_EQ(after.left, suggested.left);
    EXPECT_EQ(after.top, suggested.top);
    EXPECT_EQ(after.right - after.left, suggested.right - suggested.left);

    // The page still fills the tab control less its insets at this scale.
    RECT tab{}, page{};
    ::GetClientRect(Item(IDC_TAB), &tab);
    ::GetWindowRect(dlg->FlashPage.m_hWnd, &page);
    ::MapWindowPoints(nullptr, Item(IDC_TAB), reinterpret_cast<POINT*>(&page), 2);
    EXPECT_EQ(page.left, dpi::Scale(10, dpiNow));
    EXPECT_EQ(page.top, dpi::Scale(30, dpiNow));
    EXPECT_EQ(page.right, tab.right - dpi::Scale(10, dpiNow));
}
