#include "tests/e2e/ToolDriver.h"

#include <commctrl.h>
// The process status functions as kernel32 exports them (no psapi library).
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <atomic>

namespace e2e {

namespace {
const DWORD kMessageTimeout = 5000;

bool IsDialogClass(HWND hwnd) {
    wchar_t cls[64] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    return std::wstring(cls) == L"#32770";
}
}  // namespace

std::wstring BinFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    m_path = std::wstring(tmp) + L"tarvel-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(counter++) + L"\\";
    ::CreateDirectoryW(m_path.c_str(), nullptr);
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(folder + name + L"\\");
            else ::DeleteFileW((folder + name).c_str());
        } while (::FindNextFileW(find, &fd));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

TempFolder::~TempFolder() { RemoveTree(LongForm(m_path)); }

void TempFolder::InstallTool(bool withLibrary) const {
    const std::wstring bin = BinFolder();
    ::CopyFileW((bin + L"Tarvel_AP.exe").c_str(), File(L"Tarvel_AP.exe").c_str(), FALSE);
    if (withLibrary) ::CopyFileW((bin + L"Tarvel_DLL.dll").c_str(), File(L"Tarvel_DLL.dll").c_str(), FALSE);
}

void TempFolder::InstallAs(const wchar_t* builtName, const wchar_t* name) const {
    ::CopyFileW((BinFolder() + builtName).c_str(), File(name).c_str(), FALSE);
}

void TempFolder::WriteText(const wchar_t* name, const std::string& utf8) const {
    HANDLE f =
        ::CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(f);
}

void TempFolder::WriteBytes(const wchar_t* name, const std::vector<std::uint8_t>& bytes) const {
    HANDLE f =
        ::CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(20);
    }
}

Tool::Tool(const std::wstring& folder, const wchar_t* exeName, const std::wstring& arguments,
           const std::wstring& currentFolder) {
    std::wstring exe = folder + exeName;
    m_exe = exe;
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!arguments.empty()) cmd += L" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Started from another current folder: the tool must find its files
    // beside itself, not in the current folder.
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const wchar_t* current = currentFolder.empty() ? tmp : currentFolder.c_str();
    if (::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, current, &si, &pi)) {
        ::CloseHandle(pi.hThread);
        m_process = pi.hProcess;
        m_pid = pi.dwProcessId;
    }
}

Tool::~Tool() {
    if (!m_process) return;
    if (::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process, 99);
        ::WaitForSingleObject(m_process, 5000);
    }
    ::CloseHandle(m_process);
}

namespace {
struct FindCtx {
    DWORD pid;
    bool wantMain;
    HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lp) {
    auto* ctx = reinterpret_cast<FindCtx*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ctx->pid || !::IsWindowVisible(hwnd) || !IsDialogClass(hwnd)) return TRUE;
    const bool isMain = ::GetDlgItem(hwnd, 1056) != nullptr;
    if (isMain == ctx->wantMain) {
        ctx->found = hwnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND Tool::WaitForMainWindow(DWORD timeoutMs) {
    FindCtx ctx{m_pid, true, nullptr};
    WaitUntil(
        [&] {
            ctx.found = nullptr;
            ::EnumWindows(FindTop, reinterpret_cast<LPARAM>(&ctx));
            return ctx.found != nullptr;
        },
        timeoutMs);
    m_main = ctx.found;
    if (m_main) ::WaitForInputIdle(m_process, 10000);
    return m_main;
}

HWND Tool::WaitForOtherDialog(DWORD timeoutMs) {
    FindCtx ctx{m_pid, false, nullptr};
    WaitUntil(
        [&] {
            ctx.found = nullptr;
            ::EnumWindows(FindTop, reinterpret_cast<LPARAM>(&ctx));
            return ctx.found != nullptr;
        },
        timeoutMs);
    return ctx.found;
}

namespace {
// A small file of the Unix /proc file system (through Wine's Z: drive),
// which reports no size: read until its end.
std::string ReadProcFile(const std::wstring& path) {
    std::string text;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (f == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD got = 0;
    while (text.size() < 65536 && ::ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    ::CloseHandle(f);
    return text;
}

// CPU time of the Unix process whose command line starts with exe, from
// /proc, reached through Wine's Z: drive. -1 when there is no such process
// (or no /proc: not under Wine).
double UnixCpuMs(const std::wstring& exe) {
    const std::string wanted(exe.begin(), exe.end());  // the test folders are ASCII
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW(L"Z:\\proc\\*", &fd);
    if (find == INVALID_HANDLE_VALUE) return -1;
    double ms = -1;
    do {
        if (fd.cFileName[0] < L'0' || fd.cFileName[0] > L'9') continue;
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + fd.cFileName + L"\\";
        const std::string cmdline = ReadProcFile(dir + L"cmdline");
        if (cmdline.compare(0, wanted.size(), wanted) != 0) continue;
        // Fields after the command name in parentheses: utime and stime are
        // the 12th and 13th, in clock ticks of 10 ms.
        const std::string stat = ReadProcFile(dir + L"stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        const char* p = stat.c_str() + close + 1;
        unsigned long long field[13] = {};
        int n = 0;
        while (n < 13 && *p) {
            while (*p == ' ') ++p;
            if (n >= 11) field[n] = std::strtoull(p, nullptr, 10);
            while (*p && *p != ' ') ++p;
            ++n;
        }
        ms = static_cast<double>(field[11] + field[12]) * 10.0;
        break;
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
    return ms;
}
}  // namespace

double Tool::CpuMs() const {
    // Under Wine the Unix process's own account is the true one (the times
    // Wine reports for another process lag far behind).
    const double unix = UnixCpuMs(m_exe);
    if (unix >= 0) return unix;
    FILETIME created, exited, kernel, user;
    double reported = 0;
    if (m_process && ::GetProcessTimes(m_process, &created, &exited, &kernel, &user)) {
        const auto ms = [](const FILETIME& t) {
            return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
        };
        reported = ms(kernel) + ms(user);
    }
    return reported;
}

namespace {
// Handles of a process counted in the system's handle table, for systems
// (such as Wine) that do not fill in the per-process count.
DWORD CountHandlesOf(DWORD pid) {
    struct Entry {
        ULONG OwnerPid;
        BYTE ObjectType;
        BYTE HandleFlags;
        USHORT HandleValue;
        PVOID ObjectPointer;
        ULONG AccessMask;
    };
    using QueryFn = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<BYTE> buffer(1 << 20);
    for (int tries = 0;; ++tries) {
        ULONG needed = 0;
        const int kSystemHandleInformation = 16;
        if (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) == 0) break;
        if (tries == 6) return 0;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD n = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].OwnerPid == pid) ++n;
    return n;
}
}  // namespace

DWORD Tool::HandleCount() const {
    DWORD n = 0;
    if (m_process && ::GetProcessHandleCount(m_process, &n) && n != 0) return n;
    return CountHandlesOf(m_pid);
}

SIZE_T Tool::CommittedBytes() const {
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    if (!m_process || !::GetProcessMemoryInfo(m_process, &m, sizeof m)) return 0;
    return m.PagefileUsage;
}

void Tool::GuiObjects(DWORD* gdi, DWORD* user) const {
    *gdi = m_process ? ::GetGuiResources(m_process, GR_GDIOBJECTS) : 0;
    *user = m_process ? ::GetGuiResources(m_process, GR_USEROBJECTS) : 0;
}

int Tool::WaitForExit(DWORD timeoutMs) {
    if (!m_process || ::WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(m_process, &code);
    return static_cast<int>(code);
}

std::wstring Tool::Text(HWND hwnd) {
    DWORD_PTR len = 0;
    if (!hwnd || !::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &len))
        return L"";
    std::wstring text(len + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                          kMessageTimeout, &got);
    text.resize(got);
    return text;
}

std::vector<std::wstring> Tool::ComboItems(int id) const {
    HWND combo = ::GetDlgItem(m_main, id);
    std::vector<std::wstring> items;
    const LRESULT n = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        const LRESULT len = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(len > 0 ? len : 0) + 1, L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(len > 0 ? len : 0));
        items.push_back(text);
    }
    return items;
}

std::wstring Tool::ComboSelection(int id) const {
    const LRESULT sel = ::SendMessageW(::GetDlgItem(m_main, id), CB_GETCURSEL, 0, 0);
    const std::vector<std::wstring> items = ComboItems(id);
    return sel >= 0 && static_cast<size_t>(sel) < items.size() ? items[static_cast<size_t>(sel)] : L"";
}

void Tool::ChooseComboItem(int id, int index) const {
    HWND combo = ::GetDlgItem(m_main, id);
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(m_main, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void Tool::Click(int id) const { ::PostMessageW(::GetDlgItem(m_main, id), BM_CLICK, 0, 0); }

void Tool::SysCommand(UINT command) const { ::SendMessageW(m_main, WM_SYSCOMMAND, command, 0); }

namespace {
struct FindWithCtx {
    DWORD pid;
    int id;
    HWND found;
};

BOOL CALLBACK FindTopWith(HWND hwnd, LPARAM lp) {
    auto* ctx = reinterpret_cast<FindWithCtx*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ctx->pid || !::IsWindowVisible(hwnd) || !IsDialogClass(hwnd)) return TRUE;
    if (!::GetDlgItem(hwnd, ctx->id)) return TRUE;
    ctx->found = hwnd;
    return FALSE;
}

// The open-file dialog's file name box: a combo box in the explorer style,
// an edit in the old one.
HWND FileNameBox(HWND dialog) {
    if (HWND combo = ::GetDlgItem(dialog, 0x47C)) return combo;
    return ::GetDlgItem(dialog, 0x480);
}
}  // namespace

HWND Tool::WaitForDialogWith(int controlId, DWORD timeoutMs) const {
    FindWithCtx ctx{m_pid, controlId, nullptr};
    WaitUntil(
        [&] {
            ctx.found = nullptr;
            ::EnumWindows(FindTopWith, reinterpret_cast<LPARAM>(&ctx));
            return ctx.found != nullptr;
        },
        timeoutMs);
    return ctx.found;
}

bool Tool::ChooseFile(const std::wstring& path, DWORD timeoutMs) const {
    HWND dialog = nullptr;
    WaitUntil(
        [&] {
            dialog = WaitForDialogWith(0x47C, 50);
            if (!dialog) dialog = WaitForDialogWith(0x480, 50);
            return dialog != nullptr;
        },
        timeoutMs);
    if (!dialog) return false;
    if (path.empty()) {
        ::PostMessageW(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    } else {
        ::SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    }
    // Gone before the next gesture, which must not find it again.
    return WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, timeoutMs);
}

bool Tool::ChooseFileReplacing(const std::wstring& path, DWORD timeoutMs) const {
    HWND dialog = nullptr;
    WaitUntil(
        [&] {
            dialog = WaitForDialogWith(0x47C, 50);
            if (!dialog) dialog = WaitForDialogWith(0x480, 50);
            return dialog != nullptr;
        },
        timeoutMs);
    if (!dialog) return false;
    ::SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    HWND question = WaitForDialogWith(IDYES, timeoutMs);
    if (!question) return false;
    ::PostMessageW(::GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    return WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, timeoutMs);
}

int CountLogLines(const std::wstring& log) {
    int n = 0;
    for (std::wstring::size_type at = log.find(L"\"]\r\n"); at != std::wstring::npos; at = log.find(L"\"]\r\n", at + 1))
        ++n;
    return n;
}

bool Tool::WaitForLogLines(int count, DWORD timeoutMs) const {
    return WaitUntil([&] { return CountLogLines(Log()) >= count; }, timeoutMs);
}

HWND Tool::PageItem(int tab, int id) const {
    HWND tabs = ::GetDlgItem(m_main, 1056);
    // The pages are children of the tab control: Flash (131) first, EEPROM
    // (132) second; each has its own box ids.
    int n = 0;
    for (HWND page = ::GetWindow(tabs, GW_CHILD); page; page = ::GetWindow(page, GW_HWNDNEXT)) {
        if (!IsDialogClass(page)) continue;
        if (n++ == tab) return ::GetDlgItem(page, id);
    }
    return nullptr;
}

std::vector<std::uint8_t> Tool::BufferBytes(int tab) const {
    HWND view = PageItem(tab, 1055);
    std::vector<std::uint8_t> bytes;
    if (!view) return bytes;
    const UINT binary = ::RegisterClipboardFormatW(L"BinaryData");
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
    ::SendMessageW(view, WM_COMMAND, 57642, 0);  // select all
    ::SendMessageW(view, WM_COMMAND, 57634, 0);  // copy
    bool opened = WaitUntil([] { return ::OpenClipboard(nullptr) != FALSE; }, 5000);
    if (!opened) return bytes;
    if (HANDLE h = ::GetClipboardData(binary)) {
        const SIZE_T size = ::GlobalSize(h);
        if (const auto* p = static_cast<const std::uint8_t*>(::GlobalLock(h))) {
            if (size >= 4) {
                const std::uint32_t n = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
                if (n <= size - 4) bytes.assign(p + 4, p + 4 + n);
            }
            ::GlobalUnlock(h);
        }
    }
    ::CloseClipboard();
    return bytes;
}

void Tool::SwitchAwayAndBack() const {
    ::SendMessageW(m_main, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(::GetDesktopWindow()));
    ::SendMessageW(m_main, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(::GetDesktopWindow()));
}

void Tool::SelectTab(int tab) const {
    // The arrow keys move the tab control's selection and make it notify
    // the window, as a click on the tab does.
    HWND tabs = ::GetDlgItem(m_main, 1056);
    WaitUntil(
        [&] {
            const LRESULT sel = ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0);
            if (sel == tab) return true;
            const WPARAM key = sel < tab ? VK_RIGHT : VK_LEFT;
            ::PostMessageW(tabs, WM_KEYDOWN, key, 0);
            ::PostMessageW(tabs, WM_KEYUP, key, 0xC0000000);
            ::Sleep(50);
            return ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == tab;
        },
        5000);
}

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 30)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!::ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
        bytes.resize(got);
    }
    ::CloseHandle(f);
    return bytes;
}

std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }

std::wstring IniString(const std::wstring& file, const wchar_t* key) {
    wchar_t buffer[512] = L"";
    ::GetPrivateProfileStringW(L"Setting", key, L"<missing>", buffer, 512, file.c_str());
    return buffer;
}

std::vector<std::wstring> ChildTexts(HWND hwnd) {
    std::vector<std::wstring> texts;
    for (HWND child = ::GetWindow(hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        texts.push_back(Tool::Text(child));
    return texts;
}

}  // namespace e2e
