// Drives a real Tarvel_AP.exe from another process, as a user would: starts
// it in a folder of its own, finds its windows, reads and clicks controls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Folder of this test program (where the build put Tarvel_AP.exe and
// Tarvel_DLL.dll), with a trailing backslash.
std::wstring BinFolder();

// A new empty folder under the temporary folder, removed with everything in
// it on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return m_path; }
    std::wstring File(const wchar_t* name) const { return m_path + name; }
    // Copies the tool (and, unless told not to, the library) in.
    void InstallTool(bool withLibrary = true) const;
    // Copies a file of the build folder in under another name.
    void InstallAs(const wchar_t* builtName, const wchar_t* name) const;
    void WriteText(const wchar_t* name, const std::string& utf8) const;
    void WriteBytes(const wchar_t* name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::wstring m_path;
};

// Removes a folder (path with its trailing backslash; the long form for
// folders past MAX_PATH) and everything below it.
void RemoveTree(const std::wstring& folder);

// Polls until the condition holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000);

class Tool {
public:
    // Starts folder\Tarvel_AP.exe, or the tool installed under another name,
    // with the arguments given (already quoted as a command line wants them)
    // in the current folder given (the temporary folder by default).
    explicit Tool(const std::wstring& folder, const wchar_t* exeName = L"Tarvel_AP.exe",
                  const std::wstring& arguments = L"", const std::wstring& currentFolder = L"");
    ~Tool();  // kills it if it still runs
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    bool Started() const { return m_process != nullptr; }
    // The main window (a dialog with the tab control), once it is shown.
    HWND WaitForMainWindow(DWORD timeoutMs = 30000);
    // A top-level dialog of the tool other than the main window (a message
    // box), once it is shown.
    HWND WaitForOtherDialog(DWORD timeoutMs = 30000);
    // Waits for the process to end; returns its exit code, or -1 on timeout.
    int WaitForExit(DWORD timeoutMs = 20000);
    HWND Main() const { return m_main; }
    // CPU time the process has used so far (user and kernel), in ms.
    double CpuMs() const;
    // The process's open handles, its committed memory, and its GDI and
    // USER objects (0 where the system does not count them, as under Wine).
    DWORD HandleCount() const;
    SIZE_T CommittedBytes() const;
    void GuiObjects(DWORD* gdi, DWORD* user) const;

    std::wstring Title() const { return Text(m_main); }
    std::wstring ItemText(int id) const { return Text(::GetDlgItem(m_main, id)); }
    bool ItemEnabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(m_main, id)) != FALSE; }
    std::vector<std::wstring> ComboItems(int id) const;
    std::wstring ComboSelection(int id) const;
    // Selects an item of a drop-down list as a user's choice does
    // (selection plus the CBN_SELCHANGE notification).
    void ChooseComboItem(int id, int index) const;
    void Click(int id) const;
    void SysCommand(UINT command) const;

    // A top-level dialog of the tool that has a control with this id.
    HWND WaitForDialogWith(int controlId, DWORD timeoutMs = 20000) const;
    // Answers the open-file dialog as a user does: types the path into its
    // file name box and presses Open (or Cancel when path is empty). False
    // when no file dialog came up.
    bool ChooseFile(const std::wstring& path, DWORD timeoutMs = 20000) const;
    // The same for a save dialog whose file exists: answers the question
    // whether to replace it with Yes.
    bool ChooseFileReplacing(const std::wstring& path, DWORD timeoutMs = 20000) const;
    // The log's text.
    std::wstring Log() const { return ItemText(1029); }
    // Waits until the log holds a line that ends an operation (its elapsed
    // time), count of them in all.
    bool WaitForLogLines(int count, DWORD timeoutMs = 20000) const;
    // A control of a buffer page (tab 0 Flash, 1 EEPROM).
    HWND PageItem(int tab, int id) const;
    // The bytes of a buffer, copied out of its hex editor through the
    // clipboard as a user's Select All and Copy do; empty for an empty buffer.
    std::vector<std::uint8_t> BufferBytes(int tab) const;
    // What the main window sees when the user switches to another program
    // and back: deactivation in favour of a window of another process, then
    // activation.
    void SwitchAwayAndBack() const;
    // Selects a tab of the buffer tab control as a click does.
    void SelectTab(int tab) const;

    static std::wstring Text(HWND hwnd);

private:
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
    std::wstring m_exe;
    HWND m_main = nullptr;
};

// Counts the elapsed-time tails ("\"]\r\n") in a log text.
int CountLogLines(const std::wstring& log);

// Reads a whole file; empty when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path);

// The "\\?\" form of an absolute drive path, which the file functions take
// past MAX_PATH characters.
std::wstring LongForm(const std::wstring& path);

// Reads a value of section "Setting" of an INI file ("" when missing).
std::wstring IniString(const std::wstring& file, const wchar_t* key);

// Texts of all child windows of a window, in Z order.
std::vector<std::wstring> ChildTexts(HWND hwnd);

}  // namespace e2e
