// The demo host driven from another process: this test starts hexedit_demo
// on a file, finds its dialog by title and control 1055, types into it and
// reads the control's CF_TEXT copy from its own side of the clipboard.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring ThisFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

struct Found {
    const wchar_t* prefix;
    DWORD process;
    HWND hwnd;
};

BOOL CALLBACK FindByTitle(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[256] = {};
    ::GetWindowTextW(hwnd, title, 256);
    if (pid == f->process && std::wstring(title).rfind(f->prefix, 0) == 0) {
        f->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::string ClipboardText() {
    std::string text;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::OpenClipboard(nullptr)) break;
        ::Sleep(10);
    }
    if (HANDLE h = ::GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(::GlobalLock(h));
        ::GlobalUnlock(h);
    }
    ::CloseClipboard();
    return text;
}

}  // namespace

TEST(HexEditDemo, AnotherProgramDrivesTheControlAndReadsItsTextCopy) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring file = std::wstring(temp) + L"hexdemo_probe.bin";
    {
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        const char bytes[18] = {'A', 'B', 'C', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
        DWORD written = 0;
        ::WriteFile(h, bytes, sizeof bytes, &written, nullptr);
        ::CloseHandle(h);
    }

    std::wstring command = L"\"" + ThisFolder() + L"hexedit_demo.exe\" \"" + file + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

    Found found{L"hexdemo_probe.bin", pi.dwProcessId, nullptr};
    for (int i = 0; i < 200 && !found.hwnd; ++i) {
        ::WaitForInputIdle(pi.hProcess, 50);
        ::EnumWindows(FindByTitle, reinterpret_cast<LPARAM>(&found));
        if (!found.hwnd) ::Sleep(25);
    }
    ASSERT_NE(found.hwnd, nullptr) << "no demo window";
    HWND view = ::GetDlgItem(found.hwnd, 1055);
    ASSERT_NE(view, nullptr);

    ::SendMessageW(view, WM_COMMAND, 57642, 0);  // select all
    ::SendMessageW(view, WM_COMMAND, 57634, 0);  // copy
    EXPECT_EQ(ClipboardText(), "41 42 43 00 01 02 03 04 05 06 07 08 09 0A 0B 0C\n0D 0E\n");

    // The demo's control is editable: typed digits overwrite byte 0.
    ::SendMessageW(view, WM_KEYDOWN, VK_HOME, 0);
    ::SendMessageW(view, WM_CHAR, 'f', 0);
    ::SendMessageW(view, WM_CHAR, '0', 0);
    ::SendMessageW(view, WM_COMMAND, 57642, 0);
    ::SendMessageW(view, WM_COMMAND, 57634, 0);
    EXPECT_EQ(ClipboardText().substr(0, 9), "F0 42 43 ");

    ::PostMessageW(found.hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::DeleteFileW(file.c_str());
}
