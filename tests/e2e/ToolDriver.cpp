#include "ToolDriver.h"

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

namespace {
// Removes a folder (path with its trailing backslash, in the long form so
// that folders past MAX_PATH go too) and everything below it.
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
}  // namespace

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
    HANDLE f = ::CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
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

Tool::Tool(const std::wstring& folder, const wchar_t* exeName) {
    std::wstring exe = folder + exeName;
    std::wstring cmd = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Started from another current folder: the tool must find its files
    // beside itself, not in the current folder.
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    if (::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, tmp, &si, &pi)) {
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
    WaitUntil([&] {
        ctx.found = nullptr;
        ::EnumWindows(FindTop, reinterpret_cast<LPARAM>(&ctx));
        return ctx.found != nullptr;
    }, timeoutMs);
    m_main = ctx.found;
    if (m_main) ::WaitForInputIdle(m_process, 10000);
    return m_main;
}

HWND Tool::WaitForOtherDialog(DWORD timeoutMs) {
    FindCtx ctx{m_pid, false, nullptr};
    WaitUntil([&] {
        ctx.found = nullptr;
        ::EnumWindows(FindTop, reinterpret_cast<LPARAM>(&ctx));
        return ctx.found != nullptr;
    }, timeoutMs);
    return ctx.found;
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
