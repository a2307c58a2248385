// The production view: a window of its own beside the main window that runs
// a project on its COM ports at once. The engine is the console programmer:
// Tarvel_CLI.exe runs as a child process (its gang of worker processes, its
// serial number book and journal, its unit records), inside a job object that
// ends it and its workers when the view goes. A reader thread takes its JSON
// records off its output and posts them here; the window never waits on the
// child. One tile per port, counters kept in the project's units.csv, Start
// (button, Enter, Space), Stop (button, Esc) and optional sounds.
#pragma once

#include "app/ProductionTile.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "run/UnitRecord.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CProductionView : public CDialogEx {
public:
    struct Setup {
        std::wstring projectPath;  // the project file, full path
        std::wstring projectName;
        std::wstring folder;     // the project's folder, with its trailing backslash
        std::wstring exeFolder;  // where Tarvel_CLI.exe is, with its trailing backslash
        std::vector<std::wstring> ports;
        int language = 0;
    };

    CProductionView();
    ~CProductionView() override;

    // Opens the view for a project, or brings it to the front when it is
    // open for the same one. A view running another project stays as it is
    // (false).
    bool Open(HWND owner, const Setup& setup);
    bool IsOpen() const { return m_hWnd != nullptr; }
    void ApplyLanguage(int language);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;      // Enter: Start
    void OnCancel() override;  // Esc: Stop
    bool OnClicked(int id) override;
    bool OnSysCommand(UINT command) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Start();
    void Stop();
    void Close();
    void ResetCounters();
    bool Running() const { return m_process.valid(); }
    // The child: started with its pipes inside the job; the reader thread.
    bool Launch(std::wstring* why);
    void ReadOutput(HANDLE output, HANDLE process);
    void SendCommand(const char* line);
    // The records posted by the reader; the child's end.
    void TakeLines();
    void TakeLine(const std::string& line);
    void ChildEnded(DWORD exitCode);
    void ReleaseChild();

    void Layout();
    void MakeFonts(int tileHeight);
    void ShowCounters();
    void ShowStatus(const std::wstring& text);
    void ShowButtons();
    std::wstring UnitsPath() const { return m_setup.folder + L"units.csv"; }
    void ReadCounters();

    Setup m_setup;
    std::vector<std::unique_ptr<ProductionTile>> m_tiles;
    run::UnitCounters m_counters;
    std::uint64_t m_runPassed = 0;  // boards passed since Start, for boards per hour
    DWORD m_runStart = 0;
    bool m_stopping = false;
    bool m_closing = false;  // closes once the child has ended
    bool m_retryPending = false;

    UniqueHandle m_job;
    UniqueHandle m_process;
    UniqueHandle m_input;  // the child's standard input, our end
    std::thread m_reader;
    std::mutex m_lock;
    std::deque<std::string> m_lines;  // guarded by m_lock
    bool m_linesPosted = false;       // guarded by m_lock

    GdiObject<HFONT> m_large, m_small, m_counterFont;
    int m_fontHeight = 0;
    int m_counterDpi = 0;
};
