// Files dropped on the main window in process: the test builds the DROPFILES
// block the shell would and posts WM_DROPFILES, and a helper thread answers
// the insert-area dialog as a user does.
#include "tests/e2e/ToolDriver.h"
#include "tests/wine/app/MainWindowFixture.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A DROPFILES block as the shell hands it over: the header, then the wide
// paths, each NUL-terminated, and one more NUL.
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    std::size_t chars = 1;
    for (const std::wstring& p : paths) chars += p.size() + 1;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    if (!block) return nullptr;
    auto* header = static_cast<DROPFILES*>(::GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->pt = {40, 40};
    header->fNC = FALSE;
    header->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
    for (const std::wstring& p : paths) {
        std::memcpy(text, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
        text += p.size() + 1;
    }
    *text = L'\0';
    ::GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

// Runs the thread's messages until the condition holds or the time is up.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (condition()) return true;
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

enum class Answer { Code, Iap, Cancel };

struct FindArea {
    DWORD pid;
    HWND found;
};
BOOL CALLBACK FindAreaDialog(HWND hwnd, LPARAM lp) {
    auto* ctx = reinterpret_cast<FindArea*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == ctx->pid && ::IsWindowVisible(hwnd) && ::GetDlgItem(hwnd, IDC_AREA_AP)) {
        ctx->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Answers insert-area dialogs from another thread, in the order given, and
// counts every one that came up (an unexpected one is cancelled).
class AreaAnswerer {
public:
    explicit AreaAnswerer(std::deque<Answer> answers) : m_answers(std::move(answers)) {
        m_thread = std::thread([this] { Run(); });
    }
    ~AreaAnswerer() {
        m_stop = true;
        m_thread.join();
    }
    int Seen() const { return m_seen; }

private:
    void Run() {
        HWND last = nullptr;
        while (!m_stop) {
            FindArea ctx{::GetCurrentProcessId(), nullptr};
            ::EnumWindows(FindAreaDialog, reinterpret_cast<LPARAM>(&ctx));
            if (ctx.found && ctx.found != last && ::IsWindowEnabled(ctx.found)) {
                last = ctx.found;
                ++m_seen;
                Answer a = Answer::Cancel;
                if (!m_answers.empty()) {
                    a = m_answers.front();
                    m_answers.pop_front();
                }
                DWORD_PTR r = 0;
                if (a == Answer::Iap)
                    ::SendMessageTimeoutW(::GetDlgItem(ctx.found, IDC_AREA_IAP), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &r);
                ::PostMessageW(::GetDlgItem(ctx.found, a == Answer::Cancel ? IDCANCEL : IDOK), BM_CLICK, 0, 0);
            }
            ::Sleep(20);
        }
    }
    std::deque<Answer> m_answers;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_seen{0};
    std::thread m_thread;
};

class DropTest : public MainWindowTest {
protected:
    void TearDown() override {
        MainWindowTest::TearDown();
        ::DeleteFileW((isp::ModuleFolder() + L"Tarvel_DLL.ini").c_str());
    }

    // The window shown, on the part.
    void Start(const wchar_t* part) {
        ASSERT_NO_FATAL_FAILURE(MainWindowTest::Start());
        ::ShowWindow(dlg->m_hWnd, SW_SHOW);
        ChoosePart(part);
    }
    std::wstring Log() const { return CWnd::GetWindowText(Item(IDC_LOG)); }
    void SelectTab(int tab) {
        HWND tabs = Item(IDC_TAB);
        TabCtrl_SetCurSel(tabs, tab);
        NMHDR hdr{tabs, IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
        ::SendMessageW(dlg->m_hWnd, WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&hdr));
    }
    // Drops the files and runs messages until the log has `lines` lines.
    void Drop(const std::vector<std::wstring>& paths) {
        HDROP drop = MakeDrop(paths);
        ASSERT_NE(drop, nullptr);
        ASSERT_TRUE(::PostMessageW(dlg->m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0));
    }
    bool WaitForLines(int lines) {
        return PumpUntil([&] { return e2e::CountLogLines(Log()) >= lines; });
    }
    Bytes Buffer(int tab) {
        CHexEditBase& editor = tab == 1 ? dlg->EepromPage.HexEdit : dlg->FlashPage.HexEdit;
        Bytes bytes(editor.GetBufferLength());
        editor.CopyBuffer(bytes.data(), static_cast<DWORD>(bytes.size()));
        return bytes;
    }
    std::wstring PageText(int tab, int id) const {
        return CWnd::GetWindowText(::GetDlgItem(tab == 1 ? dlg->EepromPage.m_hWnd : dlg->FlashPage.m_hWnd, id));
    }

    e2e::TempFolder dir;
};

}  // namespace

TEST_F(DropTest, ADropOnEachPageLoadsLikeLoadFileWithTheQuestionOnlyForFlash) {
    Start(L"T30C64");
    const Bytes flash = {1, 2, 3, 4, 5};
    const Bytes eeprom = {9, 8, 7};
    dir.WriteBytes(L"flash.bin", flash);
    dir.WriteBytes(L"eeprom.bin", eeprom);
    {
        AreaAnswerer answers({Answer::Code});
        Drop({dir.File(L"flash.bin")});
        ASSERT_TRUE(WaitForLines(1)) << Log();
        EXPECT_EQ(answers.Seen(), 1);
    }
    EXPECT_NE(Log().find(L"000 - Load File =>Pass   ["), std::wstring::npos) << Log();
    EXPECT_EQ(Buffer(0), flash);
    EXPECT_EQ(PageText(0, IDC_FLASH_PATH), dir.File(L"flash.bin"));
    EXPECT_EQ(PageText(0, IDC_FLASH_SIZE), L"5");
    EXPECT_EQ(dlg->LastFolder, dir.Path());
    EXPECT_TRUE(Buffer(1).empty());

    SelectTab(1);
    {
        AreaAnswerer answers({});
        Drop({dir.File(L"eeprom.bin")});
        ASSERT_TRUE(WaitForLines(2)) << Log();
        PumpUntil([] { return false; }, 300);  // time for a dialog that must not come
        EXPECT_EQ(answers.Seen(), 0);
    }
    EXPECT_NE(Log().find(L"001 - Load File =>Pass   ["), std::wstring::npos) << Log();
    EXPECT_EQ(Buffer(1), eeprom);
    EXPECT_EQ(PageText(1, IDC_EEPROM_SUM), L"0018");
    EXPECT_EQ(Buffer(0), flash);
}

TEST_F(DropTest, SeveralFilesLoadInOrderEachWithItsQuestionSoBootLoaderAndApplicationMerge) {
    Start(L"T30C64");  // data (IAP) address 0xF800
    const Bytes boot = {0xB0, 0xB1, 0xB2, 0xB3};
    dir.WriteBytes(L"boot.bin", boot);
    dir.WriteText(L"app.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    {
        AreaAnswerer answers({Answer::Code, Answer::Iap});
        Drop({dir.File(L"boot.bin"), dir.File(L"app.hex")});
        ASSERT_TRUE(WaitForLines(2)) << Log();
        EXPECT_EQ(answers.Seen(), 2);
    }
    EXPECT_NE(Log().find(L"000 - Load File =>Pass   ["), std::wstring::npos) << Log();
    EXPECT_NE(Log().find(L"001 - Load File =>Pass   ["), std::wstring::npos) << Log();
    Bytes merged = boot;
    merged.resize(0xF800, 0xFF);
    merged.insert(merged.end(), {1, 2, 3, 4});
    EXPECT_EQ(Buffer(0), merged);
    EXPECT_EQ(PageText(0, IDC_FLASH_PATH), dir.File(L"app.hex") + L" (Mixed file)");
}

TEST_F(DropTest, AFolderOrAMissingFileGivesOpenFileErrorAndTheNextFileStillLoads) {
    Start(L"T30C64");
    SelectTab(1);  // no question on the EEPROM page
    const std::wstring folder = dir.File(L"sub");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    dir.WriteBytes(L"ok.bin", Bytes{0x42});
    Drop({folder, dir.File(L"missing.bin"), dir.File(L"ok.bin")});
    ASSERT_TRUE(WaitForLines(3)) << Log();
    EXPECT_NE(Log().find(L"000 - Load File =>Open file error   ["), std::wstring::npos) << Log();
    EXPECT_NE(Log().find(L"001 - Load File =>Open file error   ["), std::wstring::npos) << Log();
    EXPECT_NE(Log().find(L"002 - Load File =>Pass   ["), std::wstring::npos) << Log();
    EXPECT_EQ(Buffer(1), Bytes{0x42});
    EXPECT_EQ(dlg->LastFolder, dir.Path());
}

TEST_F(DropTest, ADropWhileAJobRunsIsRefusedWithoutALogLine) {
    // The adapter's target never appears, so the job waits until stopped.
    HANDLE f = ::CreateFileW((isp::ModuleFolder() + L"Tarvel_DLL.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    const char keys[] = "[Adapter]\r\nnever\r\npace=0\r\n";
    DWORD written = 0;
    ::WriteFile(f, keys, sizeof keys - 1, &written, nullptr);
    ::CloseHandle(f);

    Start(L"T30C64");
    SelectTab(1);
    dir.WriteBytes(L"eeprom.bin", Bytes{1, 2});
    ::SendMessageW(Item(IDC_OPEN_PORT), BM_CLICK, 0, 0);
    ASSERT_NE(Log().find(L"Open Port =>Pass"), std::wstring::npos) << Log();
    const BYTE image[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(dlg->FlashPage.HexEdit.SetBuffer(image, sizeof image));
    // The button is still disabled without a loaded file: its command as a click.
    const auto clickUpdate = [&] {
        ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Item(IDC_UPDATE)));
    };
    clickUpdate();
    ASSERT_TRUE(PumpUntil([&] { return CWnd::GetWindowText(Item(IDC_UPDATE)) == L"Stop"; })) << Log();
    EXPECT_FALSE(::IsWindowEnabled(Item(IDC_LOAD_FILE)));

    const std::wstring before = Log();
    Drop({dir.File(L"eeprom.bin")});
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(Buffer(1).empty());
    EXPECT_EQ(e2e::CountLogLines(Log()), e2e::CountLogLines(before)) << Log();
    EXPECT_EQ(Log().find(L"Load File"), std::wstring::npos) << Log();

    clickUpdate();  // Stop
    ASSERT_TRUE(PumpUntil([&] { return CWnd::GetWindowText(Item(IDC_UPDATE)) == L"Update Target"; }));
    // Afterwards a drop loads again.
    Drop({dir.File(L"eeprom.bin")});
    ASSERT_TRUE(PumpUntil([&] { return Log().find(L"Load File =>Pass") != std::wstring::npos; })) << Log();
    EXPECT_EQ(Buffer(1), (Bytes{1, 2}));
}

TEST_F(DropTest, ADropWithNoPartSelectedIsRefusedWithoutALogLine) {
    Start(L"T30C64");
    SelectTab(1);
    dir.WriteBytes(L"eeprom.bin", Bytes{1, 2});
    // What a table whose parts no family lists leaves: no part at all.
    dlg->IspParam->PartIndex = -1;
    Drop({dir.File(L"eeprom.bin")});
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(Log(), L"");
    EXPECT_TRUE(Buffer(1).empty());
    EXPECT_TRUE(dlg->LastFolder.empty());
}
