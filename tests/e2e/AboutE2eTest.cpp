// End-to-end: the about box and the version check of the real Tarvel_AP.exe,
// against HTTP servers on the loopback interface run by this test (one that
// serves version files, one that accepts and never answers, and a port where
// nothing listens). The tool is pointed at them through the UpdateServer key
// of its Setting.ini; the stand-in library reports the version and edition
// set in its Tarvel_DLL.ini. The browser is a recorder program registered
// for http and https in the test's own Wine prefix.
#include "res/resource.h"
#include "tests/e2e/HttpTestServer.h"
#include "tests/e2e/ToolDriver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using e2e::HttpTestServer;
using e2e::IniString;
using e2e::TempFolder;
using e2e::Tool;
using e2e::WaitUntil;

namespace {

// About box controls.
constexpr int kVersionLine = 1041, kMessage = 1042, kCheck = 1043, kDownload = 1044, kUpdateTips = 1054, kNotice = 1070;
constexpr DWORD kWaitMs = 30000;
const char kVersionPath[] = "/files/Download/Tools/tools_version.ini";
const wchar_t kWaiting[] = L"<waiting for the check>";

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteUtf16(const std::wstring& path, const std::wstring& text) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write("\xFF\xFE", 2);
    out.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * 2));
}

std::string VersionFile(const std::string& keys) { return "[Tarvel]\r\n" + keys; }

// A tool folder: the tool, the stand-in library at version 1.2.3.4 and a
// Setting.ini (UTF-16LE, as the tool writes it) pointing at a server.
struct Settings {
    std::wstring server;
    int language = 0;
    int updateTips = -1;  // -1: no key
    int boundMs = 0;      // 0: no key (the default bound)
};

class Installed {
public:
    explicit Installed(const Settings& settings, int edition = 0) {
        dir.InstallTool();
        SetEdition(edition);
        Write(settings);
    }
    void SetEdition(int edition) const {
        dir.WriteText(L"Tarvel_DLL.ini", "[Info]\r\nVersion=0x01020304\r\nEdition=" + std::to_string(edition) + "\r\n");
    }
    void Write(const Settings& s) const {
        std::wstring text = L"[Setting]\r\nLanguage=" + std::to_wstring(s.language) + L"\r\nLastPartNo=2\r\n";
        if (!s.server.empty()) text += L"UpdateServer=" + s.server + L"\r\n";
        if (s.updateTips >= 0) text += L"UpdateTips=" + std::to_wstring(s.updateTips) + L"\r\n";
        if (s.boundMs > 0) text += L"UpdateTimeoutMs=" + std::to_wstring(s.boundMs) + L"\r\n";
        WriteUtf16(dir.File(L"Setting.ini"), text);
    }
    std::wstring VersionFilePath() const { return dir.File(L"tools_version.ini"); }

    TempFolder dir;
};

DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// Visible top-level dialogs of the tool other than its main window.
struct DialogSearch {
    DWORD pid;
    HWND main;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<DialogSearch*>(lp);
    wchar_t cls[16] = L"";
    ::GetClassNameW(hwnd, cls, 16);
    if (hwnd != search->main && ProcessOf(hwnd) == search->pid && ::IsWindowVisible(hwnd) &&
        std::wstring(cls) == L"#32770")
        search->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> OtherDialogs(const Tool& tool) {
    DialogSearch search{ProcessOf(tool.Main()), tool.Main(), {}};
    ::EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindDialog(const Tool& tool, bool about) {
    for (HWND h : OtherDialogs(tool))
        if ((::GetDlgItem(h, kCheck) != nullptr) == about) return h;
    return nullptr;
}

HWND WaitForDialog(const Tool& tool, bool about) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(tool, about)) != nullptr; }, kWaitMs);
    return found;
}

// All texts of a dialog's children, joined.
std::wstring AllText(HWND dialog) {
    std::wstring all;
    for (const std::wstring& t : e2e::ChildTexts(dialog)) all += t + L"\n";
    return all;
}

// The about box, driven as a user would.
class AboutBox {
public:
    explicit AboutBox(const Tool& tool) {
        ::PostMessageW(tool.Main(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        m_box = WaitForDialog(tool, true);
    }
    HWND Hwnd() const { return m_box; }
    std::wstring Text(int id) const { return Tool::Text(::GetDlgItem(m_box, id)); }
    bool Enabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(m_box, id)) != FALSE; }
    bool Checked() const { return ::SendMessageW(::GetDlgItem(m_box, kUpdateTips), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void Click(int id) const { ::PostMessageW(::GetDlgItem(m_box, id), BM_CLICK, 0, 0); }
    // Clicks a button and returns the message area once the click has been
    // answered: Check ends with Check enabled again, Download at once.
    std::wstring Press(int id) const {
        ::SendMessageW(::GetDlgItem(m_box, kMessage), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kWaiting));
        Click(id);
        WaitUntil([&] { return Text(kMessage) != kWaiting && Enabled(kCheck); }, kWaitMs);
        return Text(kMessage);
    }
    void Close() const {
        ::PostMessageW(m_box, WM_COMMAND, IDCANCEL, 0);
        WaitUntil([&] { return !::IsWindow(m_box); }, kWaitMs);
    }

private:
    HWND m_box = nullptr;
};

// The browser's stand-in: the open command of http and https runs the
// recorder, which writes the address to a file. Wine's HKEY_CLASSES_ROOT
// does not look at the current user's classes, so the command is set there,
// in the test's own prefix, and the previous one is put back afterwards.
class BrowserStandIn {
public:
    explicit BrowserStandIn(const TempFolder& dir) : m_out(dir.File(L"opened.txt")) {
        const std::wstring command = L"\"" + e2e::BinFolder() + L"url_recorder.exe\" \"" + m_out + L"\" \"%1\"";
        for (Scheme& s : m_schemes) {
            s.saved = Read(s.key);
            Write(s.key, command);
        }
    }
    ~BrowserStandIn() {
        for (const Scheme& s : m_schemes) Write(s.key, s.saved);
    }
    BrowserStandIn(const BrowserStandIn&) = delete;
    BrowserStandIn& operator=(const BrowserStandIn&) = delete;

    bool Opened() const { return FileExists(m_out); }
    std::string WaitForAddress() const {
        WaitUntil([&] { return Opened(); }, kWaitMs);
        return ReadBytes(m_out);
    }
    void Forget() const { ::DeleteFileW(m_out.c_str()); }

private:
    struct Scheme {
        const wchar_t* key;
        std::wstring saved;
    };
    static std::wstring Read(const wchar_t* key) {
        wchar_t value[1024] = L"";
        DWORD size = sizeof value - sizeof(wchar_t);
        ::RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
        return value;
    }
    static void Write(const wchar_t* key, const std::wstring& value) {
        HKEY k = nullptr;
        if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
            return;
        ::RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(k);
    }

    std::wstring m_out;
    Scheme m_schemes[2] = {{L"http\\shell\\open\\command", {}}, {L"https\\shell\\open\\command", {}}};
};

}  // namespace

TEST(AboutE2e, BoxShowsItsTextsInTheWindowsLanguage) {
    HttpTestServer server;
    ASSERT_TRUE(server.Started());
    server.Put(kVersionPath, VersionFile("Universal_Version=1.2.3.4\r\nUniversal_URL=https://a.example/\r\n"));
    struct Case {
        int language;
        const wchar_t *check, *download, *tips, *notice, *sameVersion;
    } cases[] = {
        {0, L"Check", L"Download", L"Show update message when start", L"Copyright (C) Tessaro",
         L"Already the latest version !"},
        {1, L"\u68C0\u6D4B", L"\u4E0B\u8F7D", L"\u5F00\u542F\u65F6\u63D0\u793A\u66F4\u65B0",
         L"Copyright (C) \u6CF0\u7D22\u79D1\u6280", L"\u5DF2\u7ECF\u662F\u6700\u65B0\u7248\u672C !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        Installed tool_dir({server.Address(), c.language});
        Tool tool(tool_dir.dir.Path());
        ASSERT_TRUE(tool.WaitForMainWindow());
        AboutBox about(tool);
        ASSERT_NE(about.Hwnd(), nullptr);
        EXPECT_EQ(Tool::Text(about.Hwnd()), L"Update Tarvel") << "the caption is English in both languages";
        EXPECT_EQ(about.Text(kVersionLine), L"Tarvel v1.2.3.4");
        EXPECT_EQ(about.Text(kNotice), c.notice);
        EXPECT_EQ(about.Text(kCheck), c.check);
        EXPECT_EQ(about.Text(kDownload), c.download);
        EXPECT_EQ(about.Text(kUpdateTips), c.tips);
        EXPECT_EQ(about.Text(kMessage), L"");
        EXPECT_FALSE(about.Enabled(kDownload));
        EXPECT_FALSE(about.Checked()) << "no UpdateTips key reads as 0";
        EXPECT_EQ(about.Press(kCheck), c.sameVersion);
        about.Close();
        ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(tool.WaitForExit(), 0);
    }
}

// One tool runs the whole table: the server's file and the library's
// edition change between checks, so every check must fetch afresh.
TEST(AboutE2e, CheckReportsEachOutcomeOfTheServersFile) {
    HttpTestServer server;
    ASSERT_TRUE(server.Started());
    Installed dir({server.Address()});
    Tool tool(dir.dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    AboutBox about(tool);
    ASSERT_NE(about.Hwnd(), nullptr);

    const std::wstring same = L"Already the latest version !", infoError = L"Server information error !",
                       cantConnect = L"Can't connect server !";
    const std::string url = "Universal_URL=https://www.tessaro.example/download\r\n";
    std::string huge = VersionFile("Universal_Version=1.2.3.4\r\n" + url);
    while (huge.size() < 200 * 1024) huge += "; padding that makes the file far larger than a version file\r\n";
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) & 0xFF);

    struct Case {
        const char* what;
        int edition;
        std::string body;
        int status;
        std::wstring message;
        bool downloadAfter;  // never disabled again once a new version enabled it
    } cases[] = {
        {"same version", 0, VersionFile("Universal_Version=1.2.3.4\r\n" + url), 200, same, false},
        {"version key missing", 0, VersionFile(url), 200, infoError, false},
        {"value is literally Fail", 0, VersionFile("Universal_Version=Fail\r\n" + url), 200, infoError, false},
        {"China edition, only universal keys", 1, VersionFile("Universal_Version=1.2.3.4\r\n" + url), 200, infoError,
         false},
        {"China edition reads the China keys", 1,
         VersionFile("Universal_Version=9.9.9.9\r\nChina_Version=1.2.3.4\r\nChina_URL=https://cn.example/\r\n"), 200,
         same, false},
        {"universal edition, only China keys", 0, VersionFile("China_Version=1.2.3.4\r\n"), 200, infoError, false},
        {"server error", 0, "missing\n", 404, cantConnect, false},
        {"file far too large", 0, huge, 200, infoError, false},
        {"not an INI file", 0, binary, 200, infoError, false},
        {"lower version", 0, VersionFile("Universal_Version=1.2.3.3\r\n" + url), 200,
         L"Have new version(v1.2.3.3)\n Please click Download to update", true},
        {"leading zero", 0, VersionFile("Universal_Version=01.2.3.4\r\n" + url), 200,
         L"Have new version(v01.2.3.4)\n Please click Download to update", true},
        {"higher version", 0, VersionFile("Universal_Version=1.2.3.5\r\n" + url), 200,
         L"Have new version(v1.2.3.5)\n Please click Download to update", true},
        {"same again", 0, VersionFile("Universal_Version=1.2.3.4\r\n" + url), 200, same, true},
    };
    int requests = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.SetEdition(c.edition);
        server.Put(kVersionPath, c.body, c.status);
        EXPECT_EQ(about.Press(kCheck), c.message);
        EXPECT_EQ(server.Requests(kVersionPath), ++requests) << "asked the server, not a cache";
        EXPECT_EQ(about.Enabled(kDownload), c.downloadAfter);
        EXPECT_FALSE(FileExists(dir.VersionFilePath())) << "the file is gone once the check is over";
    }
    about.Close();
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0);
}

TEST(AboutE2e, DownloadOpensOnlyWebPages) {
    HttpTestServer server;
    ASSERT_TRUE(server.Started());
    Installed dir({server.Address()});
    BrowserStandIn browser(dir.dir);
    Tool tool(dir.dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    AboutBox about(tool);
    ASSERT_NE(about.Hwnd(), nullptr);

    struct Case {
        const char* urlLine;  // "" : no URL key
        bool opens;
    } cases[] = {
        {"Universal_URL=https://www.tessaro.example/download?v=1.2.3.5", true},
        {"Universal_URL=http://www.tessaro.example/tools", true},
        {"Universal_URL=file:///C:/windows/win.ini", false},
        {"Universal_URL=\\\\server\\share\\setup.exe", false},
        {"Universal_URL=C:\\Windows\\notepad.exe", false},
        {"Universal_URL=https://www.tessaro.example/\" \"file:///C:/windows/win.ini", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.urlLine);
        browser.Forget();
        server.Put(kVersionPath, VersionFile(std::string("Universal_Version=1.2.3.5\r\n") + c.urlLine + "\r\n"));
        ASSERT_EQ(about.Press(kCheck), L"Have new version(v1.2.3.5)\n Please click Download to update");
        ASSERT_TRUE(about.Enabled(kDownload));
        if (c.opens) {
            about.Click(kDownload);
            EXPECT_EQ(browser.WaitForAddress(), std::string(c.urlLine).substr(std::string("Universal_URL=").size()));
        } else {
            EXPECT_EQ(about.Press(kDownload), L"Server information error !");
            EXPECT_FALSE(browser.Opened());
        }
    }
    about.Close();
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0);
}

// A server that accepts and never answers, a port where nothing listens and
// a server address that is not a web address all end in "Can't connect
// server"; the box answers while it waits, and closing it does not wait out
// the bound.
TEST(AboutE2e, UnreachableServersEndInCantConnectWithinTheBound) {
    HttpTestServer silent(HttpTestServer::Mode::Silent);
    ASSERT_TRUE(silent.Started());
    Installed dir({silent.Address(), 0, -1, 2000});
    Tool tool(dir.dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    {
        AboutBox about(tool);
        ASSERT_NE(about.Hwnd(), nullptr);
        about.Click(kCheck);
        ASSERT_TRUE(WaitUntil([&] { return silent.Connections() >= 1; }, kWaitMs));
        // The check is waiting on the server: the buttons wait, the box answers.
        EXPECT_FALSE(about.Enabled(kCheck));
        EXPECT_FALSE(about.Enabled(kDownload));
        DWORD_PTR ignored = 0;
        EXPECT_NE(::SendMessageTimeoutW(about.Hwnd(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored), 0);
        EXPECT_TRUE(WaitUntil([&] { return about.Text(kMessage) == L"Can't connect server !"; }, kWaitMs));
        EXPECT_TRUE(about.Enabled(kCheck));
        EXPECT_FALSE(FileExists(dir.VersionFilePath()));
        about.Close();
    }

    const std::wstring unreachable[] = {
        L"http://127.0.0.1:" + std::to_wstring(e2e::RefusedPort()),
        L"file:///C:/windows",
        L"\\\\server\\share",
    };
    for (const std::wstring& server : unreachable) {
        SCOPED_TRACE(std::string(server.begin(), server.end()));
        dir.Write({server, 0, -1, 2000});
        AboutBox about(tool);
        ASSERT_NE(about.Hwnd(), nullptr);
        EXPECT_EQ(about.Press(kCheck), L"Can't connect server !");
        about.Close();
    }

    // Closing the box during a check with a long bound returns at once.
    dir.Write({silent.Address(), 0, -1, 60000});
    const int before = silent.Connections();
    AboutBox about(tool);
    ASSERT_NE(about.Hwnd(), nullptr);
    about.Click(kCheck);
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > before; }, kWaitMs));
    ::PostMessageW(about.Hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(about.Hwnd()); }, 10000));
    DWORD_PTR ignored = 0;
    EXPECT_NE(::SendMessageTimeoutW(tool.Main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored), 0);
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(10000), 0);
}

TEST(AboutE2e, UpdateTipsBoxIsWrittenAtOnceAndTheFileKeepsItsKeysAndEncoding) {
    HttpTestServer server;
    ASSERT_TRUE(server.Started());
    Installed dir({server.Address()});
    const std::wstring ini = dir.dir.File(L"Setting.ini");
    Tool tool(dir.dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    {
        AboutBox about(tool);
        ASSERT_NE(about.Hwnd(), nullptr);
        EXPECT_FALSE(about.Checked());
        about.Click(kUpdateTips);
        EXPECT_TRUE(WaitUntil([&] { return IniString(ini, L"UpdateTips") == L"1"; }, kWaitMs));
        about.Click(kUpdateTips);
        EXPECT_TRUE(WaitUntil([&] { return IniString(ini, L"UpdateTips") == L"0"; }, kWaitMs));
        about.Click(kUpdateTips);
        EXPECT_TRUE(WaitUntil([&] { return IniString(ini, L"UpdateTips") == L"1"; }, kWaitMs));
        about.Close();
    }
    EXPECT_EQ(ReadBytes(ini).substr(0, 2), std::string("\xFF\xFE")) << "still UTF-16LE";
    EXPECT_EQ(IniString(ini, L"LastPartNo"), L"2");
    EXPECT_EQ(IniString(ini, L"UpdateServer"), server.Address());
    {
        AboutBox about(tool);
        ASSERT_NE(about.Hwnd(), nullptr);
        EXPECT_TRUE(about.Checked()) << "read back when the box opens again";
        about.Close();
    }
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0);

    // Without a Setting.ini the first click creates one, in UTF-16LE.
    TempFolder bare;
    bare.InstallTool();
    Tool fresh(bare.Path());
    ASSERT_TRUE(fresh.WaitForMainWindow());
    AboutBox about(fresh);
    ASSERT_NE(about.Hwnd(), nullptr);
    about.Click(kUpdateTips);
    EXPECT_TRUE(WaitUntil([&] { return IniString(bare.File(L"Setting.ini"), L"UpdateTips") == L"1"; }, kWaitMs));
    EXPECT_EQ(ReadBytes(bare.File(L"Setting.ini")).substr(0, 2), std::string("\xFF\xFE"));
    about.Close();
    ::PostMessageW(fresh.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(fresh.WaitForExit(), 0);
}

TEST(AboutE2e, VersionFileThatCannotBeDeletedIsReportedAndTheToolCarriesOn) {
    HttpTestServer server;
    ASSERT_TRUE(server.Started());
    server.Put(kVersionPath, VersionFile("Universal_Version=1.2.3.4\r\nUniversal_URL=https://a.example/\r\n"));
    Installed dir({server.Address()});
    Tool tool(dir.dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    AboutBox about(tool);
    ASSERT_NE(about.Hwnd(), nullptr);

    // Another program holds the file open without sharing deletion.
    HANDLE held = ::CreateFileW(dir.VersionFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    about.Click(kCheck);
    HWND report = WaitForDialog(tool, false);
    ASSERT_NE(report, nullptr);
    EXPECT_NE(AllText(report).find(dir.VersionFilePath()), std::wstring::npos) << "the report names the file";
    ::PostMessageW(::GetDlgItem(report, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(report); }, kWaitMs));
    EXPECT_EQ(about.Text(kMessage), L"Can't connect server !") << "a stale file is never read as the answer";
    ::CloseHandle(held);

    EXPECT_EQ(about.Press(kCheck), L"Already the latest version !");
    EXPECT_FALSE(FileExists(dir.VersionFilePath()));
    about.Close();
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0);
}

TEST(StartupCheckE2e, NewVersionIsOfferedAndYesOpensThePage) {
    HttpTestServer server;
    ASSERT_TRUE(server.Started());
    server.Put(kVersionPath,
               VersionFile("Universal_Version=1.2.3.5\r\nUniversal_URL=https://www.tessaro.example/new\r\n"));
    Installed dir({server.Address(), 0, 1});
    BrowserStandIn browser(dir.dir);
    Tool tool(dir.dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    HWND question = WaitForDialog(tool, false);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(::GetWindow(question, GW_OWNER), tool.Main()) << "owned by the main window";
    EXPECT_NE(AllText(question).find(L"Have new version(v1.2.3.5)\n Please click Download to update"),
              std::wstring::npos);
    ::PostMessageW(::GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    EXPECT_EQ(browser.WaitForAddress(), "https://www.tessaro.example/new");
    EXPECT_FALSE(FileExists(dir.VersionFilePath()));
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0);
}

// Nothing is shown for the same version, or when UpdateTips is off (then
// the server is not even asked). The about box's own check afterwards is a
// full round trip after the start-up one: a question from the start-up
// check would have come by then.
TEST(StartupCheckE2e, SameVersionOrTipsOffShowNothing) {
    struct Case {
        const char* what;
        int updateTips;
        int startupRequests;
    } cases[] = {{"same version", 1, 1}, {"tips off", 0, 0}, {"no key", -1, 0}};
    HttpTestServer server;
    ASSERT_TRUE(server.Started());
    server.Put(kVersionPath, VersionFile("Universal_Version=1.2.3.4\r\nUniversal_URL=https://a.example/\r\n"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = server.Requests(kVersionPath);
        Installed dir({server.Address(), 0, c.updateTips});
        Tool tool(dir.dir.Path());
        ASSERT_TRUE(tool.WaitForMainWindow());
        if (c.startupRequests) {
            ASSERT_TRUE(WaitUntil([&] { return server.Requests(kVersionPath) == before + 1; }, kWaitMs));
            ASSERT_TRUE(WaitUntil([&] { return !FileExists(dir.VersionFilePath()); }, kWaitMs));
        }
        AboutBox about(tool);
        ASSERT_NE(about.Hwnd(), nullptr);
        EXPECT_EQ(about.Press(kCheck), L"Already the latest version !");
        EXPECT_EQ(server.Requests(kVersionPath), before + c.startupRequests + 1);
        EXPECT_EQ(FindDialog(tool, false), nullptr) << "no question was asked";
        about.Close();
        ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(tool.WaitForExit(), 0);
    }
}

// With a server that accepts and never answers (and a bound far longer than
// the test waits) or a port where nothing listens, the window is up and
// answers at once, nothing is shown, and the tool ends at once.
TEST(StartupCheckE2e, UnreachableServerNeverHoldsUpTheWindow) {
    HttpTestServer silent(HttpTestServer::Mode::Silent);
    ASSERT_TRUE(silent.Started());
    const std::wstring servers[] = {silent.Address(), L"http://127.0.0.1:" + std::to_wstring(e2e::RefusedPort())};
    for (const std::wstring& server : servers) {
        SCOPED_TRACE(std::string(server.begin(), server.end()));
        Installed dir({server, 0, 1, 60000});
        Tool tool(dir.dir.Path());
        ASSERT_TRUE(tool.WaitForMainWindow());
        if (server == silent.Address()) {
            ASSERT_TRUE(WaitUntil([&] { return silent.Connections() >= 1; }, kWaitMs));
        }
        // The window works while the check waits: a language change goes
        // through within a short limit.
        DWORD_PTR ignored = 0;
        ASSERT_NE(::SendMessageTimeoutW(tool.Main(), WM_SYSCOMMAND, IDM_LANGUAGE_CHINESE, 0, SMTO_ABORTIFHUNG, 5000,
                                        &ignored),
                  0);
        EXPECT_EQ(tool.Title(), L"\u6CF0\u7D22\u79D1\u6280 Tarvel v1.2.3.4");
        EXPECT_EQ(FindDialog(tool, false), nullptr);
        ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(tool.WaitForExit(10000), 0) << "the tool ends without waiting out the check";
    }
}

// An https server whose certificate no root of the machine vouches for (see
// run-with-tls-server.sh) is not believed: its file is never read. Runs as
// its own test entry, next to that server.
TEST(AboutTlsE2e, UntrustedCertificateIsNeverBelieved) {
    wchar_t port[16] = L"";
    if (!::GetEnvironmentVariableW(L"TARVEL_TEST_TLS_PORT", port, 16)) GTEST_SKIP() << "needs run-with-tls-server.sh";
    Installed dir({std::wstring(L"https://127.0.0.1:") + port});
    Tool tool(dir.dir.Path());
    ASSERT_TRUE(tool.WaitForMainWindow());
    AboutBox about(tool);
    ASSERT_NE(about.Hwnd(), nullptr);
    EXPECT_EQ(about.Press(kCheck), L"Can't connect server !");
    EXPECT_FALSE(FileExists(dir.VersionFilePath()));
    about.Close();
    ::PostMessageW(tool.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0);
}
