// Files dropped on the main window in process: the test builds the DROPFILES
// block the shell would and posts WM_DROPFILES, and a helper thread answers
// the insert-area and password dialogs as a user does. Firmware files and
// project files alike.
#include "image/Crc32.h"
#include "project/ProjectStore.h"
#include "tests/e2e/ToolDriver.h"
#include "tests/wine/app/MainWindowFixture.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <cwchar>
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

struct FindDialog {
    DWORD pid;
    int controlId;
    HWND found;
};
BOOL CALLBACK FindDialogWith(HWND hwnd, LPARAM lp) {
    auto* ctx = reinterpret_cast<FindDialog*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == ctx->pid && ::IsWindowVisible(hwnd) && ::GetDlgItem(hwnd, ctx->controlId)) {
        ctx->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Answers the dialogs that have a control of this id from another thread,
// in the order given, and counts every one that came up (one without an
// answer left is cancelled).
class DialogAnswerer {
public:
    using Reply = std::function<void(HWND dialog)>;
    DialogAnswerer(int controlId, std::deque<Reply> replies) : m_controlId(controlId), m_replies(std::move(replies)) {
        m_thread = std::thread([this] { Run(); });
    }
    ~DialogAnswerer() {
        m_stop = true;
        m_thread.join();
    }
    int Seen() const { return m_seen; }

private:
    void Run() {
        HWND last = nullptr;
        while (!m_stop) {
            FindDialog ctx{::GetCurrentProcessId(), m_controlId, nullptr};
            ::EnumWindows(FindDialogWith, reinterpret_cast<LPARAM>(&ctx));
            if (ctx.found && ctx.found != last && ::IsWindowEnabled(ctx.found)) {
                last = ctx.found;
                ++m_seen;
                if (m_replies.empty()) {
                    ::PostMessageW(::GetDlgItem(ctx.found, IDCANCEL), BM_CLICK, 0, 0);
                } else {
                    m_replies.front()(ctx.found);
                    m_replies.pop_front();
                }
            }
            ::Sleep(20);
        }
    }
    int m_controlId;
    std::deque<Reply> m_replies;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_seen{0};
    std::thread m_thread;
};

enum class Answer { Code, Iap, Cancel };

// Answers insert-area dialogs.
class AreaAnswerer : public DialogAnswerer {
public:
    explicit AreaAnswerer(const std::deque<Answer>& answers) : DialogAnswerer(IDC_AREA_AP, Replies(answers)) {}

private:
    static std::deque<Reply> Replies(const std::deque<Answer>& answers) {
        std::deque<Reply> replies;
        for (Answer a : answers) {
            replies.push_back([a](HWND dialog) {
                DWORD_PTR r = 0;
                if (a == Answer::Iap)
                    ::SendMessageTimeoutW(::GetDlgItem(dialog, IDC_AREA_IAP), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &r);
                ::PostMessageW(::GetDlgItem(dialog, a == Answer::Cancel ? IDCANCEL : IDOK), BM_CLICK, 0, 0);
            });
        }
        return replies;
    }
};

// Types a password into the password dialog and presses OK.
DialogAnswerer::Reply TypePassword(const wchar_t* password) {
    return [password](HWND dialog) {
        DWORD_PTR r = 0;
        ::SendMessageTimeoutW(::GetDlgItem(dialog, IDC_PASSWORD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password),
                              SMTO_NORMAL, 5000, &r);
        ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    };
}

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

// ---- Project files ---------------------------------------------------------------------

namespace {

const Bytes kApp = {0x02, 0x00, 0x10, 0x75, 0x81, 0x30};
const Bytes kData = {0xD0, 0xD1};
const Bytes kEeprom = {0xEE, 0x01, 0x02};
const wchar_t kBaseTitle[] = L"Tessaro Tarvel v1.0.0.7";

class ProjectDropTest : public DropTest {
protected:
    // A project of T20G8 (three options, 256 bytes of EEPROM, data at
    // 0x1F00) in the test folder: app.bin at 0 and data.bin at 0x1F00 in
    // Flash, eeprom.bin in EEPROM, options 0 and 2, erase by file size, the
    // rates 19200 and 4800 (the adapter's lists have both).
    project::Project MakeProject() {
        dir.WriteBytes(L"app.bin", kApp);
        dir.WriteBytes(L"data.bin", kData);
        dir.WriteBytes(L"eeprom.bin", kEeprom);
        project::Project p;
        p.name = L"line1";
        p.part = L"T20G8";
        p.baud = L"19200";
        p.checkRate = L"4800";
        p.optionBits = 5;
        p.eraseBySize = true;
        p.flash = {File(L"app.bin", 0), File(L"data.bin", 0x1F00)};
        p.eeprom = {File(L"eeprom.bin", 0)};
        p.flashImage = {FlashImage().size(), Crc(FlashImage())};
        p.eepromImage = {kEeprom.size(), Crc(kEeprom)};
        return p;
    }
    project::ProjectFile File(const wchar_t* name, std::uint32_t address) {
        project::ProjectFile f;
        f.path = name;
        f.address = address;
        EXPECT_EQ(project::MeasureFile(dir.File(name), &f.size, &f.crc32), static_cast<DWORD>(ERROR_SUCCESS));
        return f;
    }
    static Bytes FlashImage() {
        Bytes image = kApp;
        image.resize(0x1F00, 0xFF);
        image.insert(image.end(), kData.begin(), kData.end());
        return image;
    }
    static std::uint32_t Crc(const Bytes& b) { return image::Crc32(b.data(), b.size()); }
    static std::wstring TitleWith(const wchar_t* name, std::uint32_t crc) {
        wchar_t hex[16];
        std::swprintf(hex, 16, L"%08X", static_cast<unsigned>(crc));
        return std::wstring(kBaseTitle) + L" - " + name + L" [" + hex + L"]";
    }
    std::wstring Save(const project::Project& p, const wchar_t* name = L"line1.tarvel") {
        dir.WriteText(name, project::WriteProject(p));
        return dir.File(name);
    }
    std::wstring Title() const { return CWnd::GetWindowText(dlg->m_hWnd); }
    bool Checked(int id) const { return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    UINT MenuGrey(UINT command) const {
        return ::GetMenuState(::GetSystemMenu(dlg->m_hWnd, FALSE), command, MF_BYCOMMAND) & MF_GRAYED;
    }
};

}  // namespace

TEST_F(ProjectDropTest, ADroppedProjectOpensWholeAndItsLockWaitsForThePassword) {
    Start(L"T30C64");
    project::Project p = MakeProject();
    ASSERT_TRUE(project::MakeLock("line-1 pw", &p.lock));
    Drop({Save(p)});
    ASSERT_TRUE(WaitForLines(1)) << Log();
    EXPECT_NE(Log().find(L"000 - Open project =>Pass   ["), std::wstring::npos) << Log();

    // The part, the rates, the options and the two check boxes.
    EXPECT_EQ(CWnd::GetWindowText(Item(IDC_PART_LIST)), L"T20G8");
    EXPECT_EQ(dlg->BodyTable[dlg->IspParam->PartIndex].PartName, std::wstring(L"T20G8"));
    EXPECT_EQ(CWnd::GetWindowText(Item(IDC_BAUDRATE_LIST)), L"19200");
    EXPECT_EQ(CWnd::GetWindowText(Item(IDC_CHECKRATE_LIST)), L"4800");
    EXPECT_EQ(dlg->IspParam->OptionBits, 5);
    EXPECT_TRUE(Checked(IDC_OPTION0));
    EXPECT_FALSE(Checked(IDC_OPTION1));
    EXPECT_TRUE(Checked(IDC_OPTION2));
    EXPECT_TRUE(Checked(IDC_ERASE_BY_SIZE));
    EXPECT_EQ(dlg->IspParam->SetupFlags & isp::kSetupEraseByFileSize, isp::kSetupEraseByFileSize);
    // Both buffers as Load File would have composed them, without a question.
    EXPECT_EQ(Buffer(0), FlashImage());
    EXPECT_EQ(PageText(0, IDC_FLASH_PATH), dir.File(L"data.bin") + L" (Mixed file)");
    EXPECT_EQ(Buffer(1), kEeprom);
    EXPECT_EQ(Title(), TitleWith(L"line1", Crc(FlashImage())));

    // Locked: the port, the programming jobs and the log only.
    for (int id :
         {IDC_FAMILY_LIST, IDC_PART_LIST, IDC_BAUDRATE_LIST, IDC_CHECKRATE_LIST, IDC_LOAD_FILE, IDC_DUMP_INFO,
          IDC_AUTO_RELOAD, IDC_ERASE_BY_SIZE, IDC_RSTN_COLD_RESET, IDC_ENABLE_MODIFY, IDC_OPTION0, IDC_OPTION2})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {IDC_PORT_LIST, IDC_OPEN_PORT, IDC_CLEAR_MESSAGE, IDC_EXIT}) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_EQ(MenuGrey(IDM_UNLOCK_PROJECT), 0u);
    EXPECT_EQ(MenuGrey(IDM_SAVE_PROJECT), static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(MenuGrey(IDM_OPEN_PROJECT), 0u);
    // A firmware file dropped on it is refused without a word.
    dir.WriteBytes(L"other.bin", Bytes{1, 2});
    Drop({dir.File(L"other.bin")});
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(e2e::CountLogLines(Log()), 1) << Log();
    EXPECT_EQ(Buffer(0), FlashImage());

    // A wrong password (the item as Wine sends it, WM_COMMAND), then the
    // right one (WM_SYSCOMMAND).
    {
        DialogAnswerer answers(IDC_PASSWORD, {TypePassword(L"line-1 PW")});
        ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDM_UNLOCK_PROJECT, 0), 0);
        ASSERT_TRUE(WaitForLines(2)) << Log();
        EXPECT_EQ(answers.Seen(), 1);
    }
    EXPECT_NE(Log().find(L"001 - Unlock project =>Wrong password   ["), std::wstring::npos) << Log();
    EXPECT_FALSE(Enabled(IDC_LOAD_FILE));
    {
        DialogAnswerer answers(IDC_PASSWORD, {TypePassword(L"line-1 pw")});
        ::SendMessageW(dlg->m_hWnd, WM_SYSCOMMAND, IDM_UNLOCK_PROJECT, 0);
        ASSERT_TRUE(WaitForLines(3)) << Log();
    }
    EXPECT_NE(Log().find(L"002 - Unlock project =>Pass   ["), std::wstring::npos) << Log();
    for (int id : {IDC_FAMILY_LIST, IDC_BAUDRATE_LIST, IDC_LOAD_FILE, IDC_ENABLE_MODIFY, IDC_OPTION2})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_EQ(MenuGrey(IDM_UNLOCK_PROJECT), static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(MenuGrey(IDM_SAVE_PROJECT), 0u);
    // Unlocked, the project is still the one open.
    EXPECT_EQ(Title(), TitleWith(L"line1", Crc(FlashImage())));
}

TEST_F(ProjectDropTest, ARefusedProjectSaysWhyAndLeavesTheWindowAsItWas) {
    Start(L"T30C64");
    // Something of the window's own to keep: a file in Flash, an option.
    dir.WriteBytes(L"mine.bin", Bytes{0x4D, 0x49});
    {
        AreaAnswerer answers({Answer::Code});
        Drop({dir.File(L"mine.bin")});
        ASSERT_TRUE(WaitForLines(1)) << Log();
    }
    ::SendMessageW(Item(IDC_OPTION1), BM_CLICK, 0, 0);

    struct Row {
        const char* what;
        std::function<std::string(project::Project&)> make;  // the project's text
        const wchar_t* reason;
    };
    const auto written = [](project::Project& p) { return project::WriteProject(p); };
    const Row rows[] = {
        {"a field out of range",
         [](project::Project& p) {
             std::string text = project::WriteProject(p);
             text.replace(text.find("\"option_bits\": 5"), 16, "\"option_bits\": 300");
             return text;
         },
         L"option_bits: out of range: 300"},
        {"a part the library lacks",
         [&](project::Project& p) {
             p.part = L"T99X";
             return written(p);
         },
         L"part: T99X is not a part of the library"},
        {"a rate the port's list lacks",
         [&](project::Project& p) {
             p.baud = L"1200";
             return written(p);
         },
         L"baud: 1200 is not offered for KV707"},
        {"an option the part does not show",
         [&](project::Project& p) {
             p.optionBits = 0x08;
             return written(p);
         },
         L"option_bits: bit 3 is not an option of T20G8"},
        {"a file changed since the save",
         [&](project::Project& p) {
             dir.WriteBytes(L"app.bin", Bytes{0x02, 0x00, 0x10, 0x75, 0x81, 0x31});
             return written(p);
         },
         L"app.bin has changed since the project was saved"},
        {"a file missing",
         [&](project::Project& p) {
             ::DeleteFileW(dir.File(L"data.bin").c_str());
             return written(p);
         },
         L"data.bin is missing"},
        {"a composed image that is not the saved one",
         [&](project::Project& p) {
             p.flashImage.crc32 ^= 1;
             return written(p);
         },
         L"The composed Flash image (CRC-32 "},
    };
    int lines = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        project::Project p = MakeProject();
        dir.WriteText(L"bad.tarvel", row.make(p));
        Drop({dir.File(L"bad.tarvel")});
        ASSERT_TRUE(WaitForLines(++lines)) << Log();
        const std::wstring log = Log();
        const std::size_t line = log.rfind(L"Open project =>");
        ASSERT_NE(line, std::wstring::npos) << log;
        EXPECT_NE(log.find(row.reason, line), std::wstring::npos) << log;
        EXPECT_EQ(CWnd::GetWindowText(Item(IDC_PART_LIST)), L"T30C64");
        EXPECT_EQ(dlg->IspParam->OptionBits, 2);
        EXPECT_EQ(Buffer(0), (Bytes{0x4D, 0x49}));
        EXPECT_EQ(PageText(0, IDC_FLASH_PATH), dir.File(L"mine.bin"));
        EXPECT_EQ(Title(), kBaseTitle);
    }

    // The good one opens; then a file that changes under it is refused by
    // auto reload, and the buffers stay.
    Drop({Save(MakeProject())});
    ASSERT_TRUE(WaitForLines(++lines)) << Log();
    EXPECT_NE(Log().rfind(L"Open project =>Pass"), std::wstring::npos) << Log();
    dir.WriteBytes(L"app.bin", Bytes{9, 9, 9});
    ::SendMessageW(Item(IDC_AUTO_RELOAD), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForLines(++lines)) << Log();
    EXPECT_NE(Log().rfind(L"Auto Reload Code =>app.bin has changed since the project was saved   ["),
              std::wstring::npos)
        << Log();
    EXPECT_EQ(Buffer(0), FlashImage());
    EXPECT_EQ(Buffer(1), kEeprom);
    EXPECT_EQ(Title(), TitleWith(L"line1", Crc(FlashImage())));
}

TEST_F(ProjectDropTest, AChangeByHandEndsAnUnlockedProject) {
    Start(L"T30C64");
    struct Row {
        const char* what;
        std::function<void()> change;
    };
    const Row rows[] = {
        {"an option box", [&] { ::SendMessageW(Item(IDC_OPTION1), BM_CLICK, 0, 0); }},
        {"Erase by file size", [&] { ::SendMessageW(Item(IDC_ERASE_BY_SIZE), BM_CLICK, 0, 0); }},
        {"a rate", [&] { Choose(IDC_CHECKRATE_LIST, L"9600"); }},
        {"a part", [&] { ChoosePart(L"T20G8"); }},
        {"an edit of a buffer",
         [&] {
             ::SendMessageW(Item(IDC_ENABLE_MODIFY), BM_CLICK, 0, 0);
             ::SendMessageW(dlg->FlashPage.HexEdit.m_hWnd, WM_CHAR, L'7', 0);
             ::SendMessageW(Item(IDC_ENABLE_MODIFY), BM_CLICK, 0, 0);
         }},
    };
    const std::wstring path = Save(MakeProject());
    int lines = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Drop({path});
        ASSERT_TRUE(WaitForLines(++lines)) << Log();
        ASSERT_EQ(Title(), TitleWith(L"line1", Crc(FlashImage())));
        row.change();
        EXPECT_EQ(Title(), kBaseTitle);
        EXPECT_EQ(MenuGrey(IDM_UNLOCK_PROJECT), static_cast<UINT>(MF_GRAYED));
    }
    // The edit is in the buffer, and no file describes it: the project
    // cannot be saved, which is said before any file is asked for.
    EXPECT_EQ(Buffer(0)[0], 0x72);
    ::SendMessageW(dlg->m_hWnd, WM_SYSCOMMAND, IDM_SAVE_PROJECT, 0);
    ASSERT_TRUE(WaitForLines(++lines)) << Log();
    EXPECT_NE(Log().rfind(L"Save project =>The Flash buffer was edited by hand"), std::wstring::npos) << Log();
}

// A project's checksum step: Update Target programs the buffer with the
// value in it and names it in the run's line, while the buffer stays as the
// files give it; a step past the part's Flash is said and nothing runs.
TEST_F(ProjectDropTest, AProjectsChecksumGoesIntoTheImageItProgramsAndIntoTheRunsLine) {
    HANDLE ini = ::CreateFileW((isp::ModuleFolder() + L"Tarvel_DLL.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(ini, INVALID_HANDLE_VALUE);
    const char keys[] = "[Adapter]\r\npace=0\r\n";
    DWORD written = 0;
    ::WriteFile(ini, keys, sizeof keys - 1, &written, nullptr);
    ::CloseHandle(ini);

    Start(L"T30C64");
    const auto withStep = [&](const char* text) {
        project::Project p = MakeProject();
        image::ChecksumStep step;
        std::string why;
        EXPECT_TRUE(image::ParseChecksumStep(text, &step, &why)) << why;
        p.checksums = {step};
        return p;
    };
    int lines = 0;
    Drop({Save(withStep("crc32:0-1F01@1FFC"))});
    ASSERT_TRUE(WaitForLines(++lines)) << Log();
    ASSERT_NE(Log().rfind(L"Open project =>Pass"), std::wstring::npos) << Log();
    ::SendMessageW(Item(IDC_OPEN_PORT), BM_CLICK, 0, 0);
    ASSERT_NE(Log().rfind(L"Open Port =>Pass"), std::wstring::npos) << Log();
    ++lines;

    const std::uint32_t crc = Crc(FlashImage());  // the range is the files' bytes
    wchar_t line[96];
    std::swprintf(line, 96, L"002 - Update Target =>crc32 0000-1F01 @1FFC = %08X => Pass   [",
                  static_cast<unsigned>(crc));
    ::SendMessageW(Item(IDC_UPDATE), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Log().find(line) != std::wstring::npos; })) << Log();
    ++lines;
    EXPECT_TRUE(Buffer(0) == FlashImage()) << "the buffer the user sees keeps the files' bytes";
    ASSERT_TRUE(PumpUntil([&] { return CWnd::GetWindowText(Item(IDC_UPDATE)) == L"Update Target"; }));

    Drop({Save(withStep("crc32:0-1FFF@2000"), L"line2.tarvel")});
    ASSERT_TRUE(WaitForLines(++lines)) << Log();
    ASSERT_NE(Log().rfind(L"Open project =>Pass"), std::wstring::npos) << Log();
    ::SendMessageW(Item(IDC_UPDATE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForLines(++lines)) << Log();
    EXPECT_NE(Log().rfind(L"004 - Update Target =>The project's checksum step cannot run on this part: "
                          L"crc32:0000-1FFF@2000:little: the value at 0x2000 lies past the area's 8192 bytes   ["),
              std::wstring::npos)
        << Log();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(CWnd::GetWindowText(Item(IDC_UPDATE)), L"Update Target") << "no job started";
    EXPECT_EQ(e2e::CountLogLines(Log()), lines) << Log();
}
