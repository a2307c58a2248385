#include "app/ProductionView.h"

#include "framework/Dpi.h"
#include "framework/FileRead.h"
#include "framework/SystemText.h"
#include "res/resource.h"
#include "run/CsvFile.h"
#include "run/ProductionText.h"
#include "run/Station.h"
#include "text/UiText.h"
#include "text/Utf8.h"

#include <algorithm>
#include <cmath>

namespace {

// Posted by the reader thread: records are waiting (wp 0), or the child has
// ended (wp 1, lp its exit code).
constexpr UINT kMsgChild = WM_APP + 0x21;
// Ends the child through its job when it has not ended a while after Stop
// (closing the view).
constexpr UINT_PTR kTimerKill = 1;
constexpr UINT kKillAfterMs = 15000;
// Boards per hour follow the clock while a run goes.
constexpr UINT_PTR kTimerRate = 2;

// A command line argument quoted as the C runtime splits them.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
        } else if (c == L'"') {
            out.append(slashes * 2 + 1, L'\\');
            slashes = 0;
        } else {
            slashes = 0;
        }
        if (c != L'"') out += c;
        else out += L'"';
    }
    out.append(slashes, L'\\');
    return out + L"\"";
}

}  // namespace

CProductionView::CProductionView() : CDialogEx(IDD_PRODUCTION_VIEW) {}

CProductionView::~CProductionView() {
    // The tool is going: the job ends the child and its workers at once, and
    // the reader sees its pipe close.
    if (m_job) ::TerminateJobObject(m_job.get(), 1);
    ReleaseChild();
}

bool CProductionView::Open(HWND owner, const Setup& setup) {
    if (IsOpen()) {
        if (setup.projectPath != m_setup.projectPath) return false;
        ::ShowWindow(m_hWnd, ::IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
        ::SetForegroundWindow(m_hWnd);
        return true;
    }
    // The reader of a previous run has ended with its child.
    ReleaseChild();
    m_setup = setup;
    m_tiles.clear();
    m_closing = m_stopping = false;
    if (!Create(IDD_PRODUCTION_VIEW, owner)) return false;
    ::ShowWindow(m_hWnd, SW_SHOW);
    return true;
}

BOOL CProductionView::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SendDlgItemMessage(IDC_PV_SOUNDS, BM_SETCHECK, BST_CHECKED);
    for (std::size_t i = 0; i < m_setup.ports.size() && i < 16; ++i) {
        auto tile = std::make_unique<ProductionTile>();
        if (tile->Create(m_hWnd, IDC_PV_TILE0 + static_cast<int>(i), text::Utf8(m_setup.ports[i])))
            m_tiles.push_back(std::move(tile));
    }
    ReadCounters();
    ApplyLanguage(m_setup.language);
    // A size that shows the tiles well: larger than the template's.
    const int dpi = dpi::ForWindow(m_hWnd);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = std::min<int>(dpi::Scale(900, dpi), work.right - work.left);
    const int height = std::min<int>(dpi::Scale(600, dpi), work.bottom - work.top);
    ::SetWindowPos(m_hWnd, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    ShowButtons();
    return TRUE;
}

void CProductionView::ApplyLanguage(int language) {
    m_setup.language = language;
    if (!m_hWnd) return;
    SetWindowText(run::ViewTitle(m_setup.projectName, language).c_str());
    const struct {
        int id;
        run::ViewText text;
    } captions[] = {{IDC_PV_START, run::ViewText::Start},
                    {IDC_PV_STOP, run::ViewText::Stop},
                    {IDC_PV_RESET, run::ViewText::ResetCounters},
                    {IDC_PV_SOUNDS, run::ViewText::Sounds}};
    for (const auto& c : captions) AfxSetWindowText(GetDlgItem(c.id), run::ViewTextOf(c.text, language));
    for (auto& tile : m_tiles) tile->Relabel(language);
    ShowCounters();
}

// ---- Keys and buttons ----------------------------------------------------------------

BOOL CProductionView::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd))) {
        const HWND focus = ::GetFocus();
        const int focusId = focus ? ::GetDlgCtrlID(focus) : 0;
        switch (msg->wParam) {
        case VK_RETURN: Start(); return TRUE;
        case VK_ESCAPE: Stop(); return TRUE;
        case VK_SPACE:
            // Space works the button or box that has the focus; anywhere
            // else it starts, as Enter does.
            if (focusId == IDC_PV_STOP || focusId == IDC_PV_RESET || focusId == IDC_PV_SOUNDS) break;
            Start();
            return TRUE;
        }
    }
    // This window is not the one the main loop hands to the dialog manager:
    // Tab and the arrows are given to it here.
    if (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd)) return ::IsDialogMessageW(m_hWnd, msg);
    return FALSE;
}

void CProductionView::OnOK() { Start(); }
void CProductionView::OnCancel() { Stop(); }

bool CProductionView::OnClicked(int id) {
    switch (id) {
    case IDC_PV_START: Start(); return true;
    case IDC_PV_STOP: Stop(); return true;
    case IDC_PV_RESET: ResetCounters(); return true;
    case IDC_PV_SOUNDS: return true;
    }
    return false;
}

bool CProductionView::OnSysCommand(UINT command) {
    if (command == SC_CLOSE) {
        Close();
        return true;
    }
    return false;
}

// ---- The run -------------------------------------------------------------------------

void CProductionView::Start() {
    if (m_closing) return;
    if (Running()) {
        // Ports that were lost are taken again by new workers.
        if (!m_stopping) SendCommand("retry\n");
        return;
    }
    if (m_tiles.empty()) {
        ShowStatus(run::ViewTextOf(run::ViewText::NoProject, m_setup.language));
        return;
    }
    std::wstring why;
    if (!Launch(&why)) {
        ShowStatus(FillText(run::ViewTextOf(run::ViewText::NotStarted, m_setup.language), {why}));
        return;
    }
    m_runPassed = 0;
    m_runStart = ::GetTickCount();
    m_stopping = false;
    ::SetTimer(m_hWnd, kTimerRate, 1000, nullptr);
    ShowStatus(run::ViewTextOf(run::ViewText::Running, m_setup.language));
    ShowButtons();
    ShowCounters();
}

void CProductionView::Stop() {
    if (!Running() || m_stopping) return;
    // Every port's board ends "Stop"; the child then writes its summary
    // and ends, which the reader posts.
    m_stopping = true;
    SendCommand("stop\n");
    ShowStatus(run::ViewTextOf(run::ViewText::Stopping, m_setup.language));
    ShowButtons();
}

void CProductionView::Close() {
    if (!Running()) {
        ::DestroyWindow(m_hWnd);
        return;
    }
    // Stopped first; the window goes when the child has ended, or when it
    // has not after a while, through the job.
    m_closing = true;
    Stop();
    ::SetTimer(m_hWnd, kTimerKill, kKillAfterMs, nullptr);
}

void CProductionView::OnTimer(UINT_PTR id) {
    if (id == kTimerKill) {
        ::KillTimer(m_hWnd, kTimerKill);
        if (m_job) ::TerminateJobObject(m_job.get(), 1);
    } else if (id == kTimerRate) {
        ShowCounters();
    }
}

void CProductionView::OnDestroy() {
    ::KillTimer(m_hWnd, kTimerKill);
    ::KillTimer(m_hWnd, kTimerRate);
    // A window destroyed with its owner while the child runs: the job ends
    // it now.
    if (Running() && m_job) ::TerminateJobObject(m_job.get(), 1);
}

bool CProductionView::Launch(std::wstring* why) {
    const auto failed = [why](DWORD error) {
        *why = run::SystemReason(error);
        return false;
    };
    // A job that ends the child and every worker it starts when the job
    // handle closes: with this view, or with the tool however it ends.
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job) return failed(::GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return failed(::GetLastError());

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return failed(::GetLastError());
    UniqueHandle outputRead(outRead), outputWrite(outWrite);
    if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return failed(::GetLastError());
    UniqueHandle inputRead(inRead), inputWrite(inWrite);
    // Our ends stay ours: a child holding them would keep the pipes open.
    ::SetHandleInformation(outputRead.get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(inputWrite.get(), HANDLE_FLAG_INHERIT, 0);

    // Every port takes board after board: a failed board shows FAIL on its
    // tile until the operator's next board on that port starts.
    const std::wstring exe = m_setup.exeFolder + L"Tarvel_CLI.exe";
    std::wstring command = Quoted(exe) + L" program --project " + Quoted(m_setup.projectPath) +
                           L" --forever --keep-going --json --events --control --units " + Quoted(UnitsPath()) +
                           L" --no-progress";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inputRead.get();
    si.hStdOutput = outputWrite.get();
    si.hStdError = outputWrite.get();
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                          nullptr, m_setup.folder.c_str(), &si, &pi))
        return failed(::GetLastError());
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    // In the job before it runs a single instruction, so that no worker it
    // starts is outside it.
    if (!::AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(process.get(), 1);
        return failed(error);
    }
    ::ResumeThread(thread.get());
    // The child's ends belong to the child now.
    outputWrite.reset();
    inputRead.reset();

    m_job = std::move(job);
    m_process = std::move(process);
    m_input = std::move(inputWrite);
    const HANDLE output = outputRead.release();
    const HANDLE processHandle = m_process.get();
    m_reader = std::thread([this, output, processHandle] { ReadOutput(output, processHandle); });
    return true;
}

void CProductionView::ReadOutput(HANDLE output, HANDLE process) {
    UniqueHandle pipe(output);
    const HWND window = m_hWnd;
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        bool post = false;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                m_lines.push_back(std::move(line));
                pending.erase(0, end + 1);
            }
            if (!m_lines.empty() && !m_linesPosted) m_linesPosted = post = true;
        }
        if (post) ::PostMessageW(window, kMsgChild, 0, 0);
    }
    if (!pending.empty()) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_lines.push_back(pending);
    }
    // The output closed: the child is ending (its workers end with it).
    ::WaitForSingleObject(process, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process, &code);
    ::PostMessageW(window, kMsgChild, 1, static_cast<LPARAM>(code));
}

void CProductionView::SendCommand(const char* line) {
    if (!m_input) return;
    DWORD wrote = 0;
    ::WriteFile(m_input.get(), line, static_cast<DWORD>(std::char_traits<char>::length(line)), &wrote, nullptr);
}

void CProductionView::TakeLines() {
    std::deque<std::string> lines;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        lines.swap(m_lines);
        m_linesPosted = false;
    }
    for (const std::string& line : lines) TakeLine(line);
}

void CProductionView::TakeLine(const std::string& line) {
    const run::RunEvent e = run::ParseRunEvent(line);
    if (e.kind == run::RunEvent::Kind::None) {
        // A message of the console (a port that cannot be opened, a unit
        // record that cannot be written): said as it is.
        if (!line.empty()) ShowStatus(text::Widen(line));
        return;
    }
    if (e.kind == run::RunEvent::Kind::Summary) return;
    for (auto& tile : m_tiles) {
        if (tile->State().port != e.port) continue;
        tile->Apply(e, m_setup.language);
        break;
    }
    if (e.kind != run::RunEvent::Kind::Board) return;
    const std::string outcome = e.passed ? std::string("Pass") : e.outcome.empty() ? std::string("Fail") : e.outcome;
    run::CountOutcome(m_counters, outcome);
    if (e.passed) ++m_runPassed;
    ShowCounters();
    if (outcome != "Stop" && SendDlgItemMessage(IDC_PV_SOUNDS, BM_GETCHECK) == BST_CHECKED)
        ::MessageBeep(e.passed ? MB_OK : MB_ICONHAND);
}

void CProductionView::ChildEnded(DWORD exitCode) {
    TakeLines();
    ReleaseChild();
    ::KillTimer(m_hWnd, kTimerKill);
    ::KillTimer(m_hWnd, kTimerRate);
    m_stopping = false;
    // The file is the record: the counters as it has them.
    ReadCounters();
    ShowCounters();
    ShowStatus(FillText(run::ViewTextOf(run::ViewText::Ended, m_setup.language), {std::to_wstring(exitCode)}));
    ShowButtons();
    if (m_closing) ::DestroyWindow(m_hWnd);
}

void CProductionView::ReleaseChild() {
    if (m_reader.joinable()) m_reader.join();
    m_input.reset();
    m_process.reset();
    m_job.reset();
    std::lock_guard<std::mutex> hold(m_lock);
    m_lines.clear();
    m_linesPosted = false;
}

// ---- Counters --------------------------------------------------------------------------

void CProductionView::ReadCounters() {
    std::vector<std::uint8_t> bytes;
    if (ReadWholeFile(UnitsPath(), 256u << 20, &bytes) != ERROR_SUCCESS) bytes.clear();
    m_counters = run::CountUnits(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                 text::Utf8(m_setup.projectName));
}

void CProductionView::ResetCounters() {
    const std::wstring question =
        FillText(run::ViewTextOf(run::ViewText::ResetQuestion, m_setup.language), {m_setup.projectName});
    if (::MessageBoxW(m_hWnd, question.c_str(), run::ViewTextOf(run::ViewText::ResetCounters, m_setup.language),
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    if (Running()) {
        // The console writes the reset into its unit records.
        SendCommand("reset-counters\n");
    } else {
        run::UnitRecord unit;
        unit.time = run::UnitTimeNow();
        unit.station = run::StationName();
        unit.operatorName = run::OperatorName();
        unit.project = text::Utf8(m_setup.projectName);
        unit.outcome = run::kCountersReset;
        run::CsvFile file;
        std::wstring why;
        if (!file.Open(UnitsPath(), run::UnitFields(), &why) ||
            !file.Append(run::UnitCsvRow(unit, file.Columns()), &why)) {
            ShowStatus(UnitsPath() + L": " + why);
            return;
        }
    }
    m_counters = run::UnitCounters{};
    m_runPassed = 0;
    m_runStart = ::GetTickCount();
    ShowCounters();
}

void CProductionView::ShowCounters() {
    if (!m_hWnd) return;
    AfxSetWindowText(GetDlgItem(IDC_PV_COUNTERS), run::CountersText(m_counters, m_setup.language).c_str());
    double perHour = 0;
    if (Running()) {
        const double hours = (::GetTickCount() - m_runStart) / 3600000.0;
        if (hours > 0) perHour = static_cast<double>(m_runPassed) / hours;
    }
    AfxSetWindowText(GetDlgItem(IDC_PV_RATE), run::RateText(m_counters, perHour, m_setup.language).c_str());
}

void CProductionView::ShowStatus(const std::wstring& text) {
    AfxSetWindowText(GetDlgItem(IDC_PV_STATUS), text.c_str());
}

void CProductionView::ShowButtons() {
    EnableDlgItem(IDC_PV_START, !m_stopping && !m_closing);
    EnableDlgItem(IDC_PV_STOP, Running() && !m_stopping);
}

// ---- Layout ----------------------------------------------------------------------------

void CProductionView::MakeFonts(int tileHeight) {
    const int dpi = dpi::ForWindow(m_hWnd);
    const int large = std::max(dpi::Scale(14, dpi), tileHeight / 5);
    if (large != m_fontHeight || !m_large) {
        m_fontHeight = large;
        // The tiles paint with the fonts only when they next paint, after
        // they have been given the new ones.
        m_large.reset(::CreateFontW(-large, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Tahoma"));
        m_small.reset(::CreateFontW(-std::max(dpi::Scale(11, dpi), large / 2), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                    DEFAULT_PITCH, L"Tahoma"));
        for (auto& tile : m_tiles) tile->SetFonts(m_large.get(), m_small.get());
    }
    if (m_counterDpi != dpi) {
        // The control takes the new font before the old one is deleted.
        GdiObject<HFONT> font(::CreateFontW(-dpi::Scale(20, dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                            DEFAULT_PITCH, L"Tahoma"));
        SendDlgItemMessage(IDC_PV_COUNTERS, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
        m_counterFont = std::move(font);
        m_counterDpi = dpi;
    }
}

void CProductionView::Layout() {
    if (!m_hWnd) return;
    const int dpi = dpi::ForWindow(m_hWnd);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int margin = dpi::Scale(8, dpi);
    // The counters and the state line span the width; the tiles fill what
    // lies below them.
    RECT status;
    ::GetWindowRect(GetDlgItem(IDC_PV_STATUS), &status);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&status), 2);
    RECT counters;
    ::GetWindowRect(GetDlgItem(IDC_PV_COUNTERS), &counters);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&counters), 2);
    ::MoveWindow(GetDlgItem(IDC_PV_COUNTERS), counters.left, counters.top,
                 std::max<int>(1, client.right - margin - counters.left), counters.bottom - counters.top, TRUE);
    ::MoveWindow(GetDlgItem(IDC_PV_STATUS), status.left, status.top,
                 std::max<int>(1, client.right - margin - status.left), status.bottom - status.top, TRUE);
    const int top = status.bottom + margin;
    const int width = client.right - 2 * margin;
    const int height = client.bottom - top - margin;
    const int n = static_cast<int>(m_tiles.size());
    if (n == 0 || width <= 0 || height <= 0) return;
    // The grid whose tiles come closest to a 3:2 shape at the largest size.
    int bestColumns = 1;
    double bestScore = -1;
    for (int columns = 1; columns <= n; ++columns) {
        const int rows = (n + columns - 1) / columns;
        const double w = static_cast<double>(width) / columns, h = static_cast<double>(height) / rows;
        const double score = std::min(w, h * 1.5);
        if (score > bestScore) {
            bestScore = score;
            bestColumns = columns;
        }
    }
    const int columns = bestColumns, rows = (n + columns - 1) / columns;
    const int gap = dpi::Scale(6, dpi);
    const int tileW = (width - gap * (columns - 1)) / columns;
    const int tileH = (height - gap * (rows - 1)) / rows;
    MakeFonts(std::min(tileH, tileW * 2 / 3));
    for (int i = 0; i < n; ++i) {
        const int x = margin + (i % columns) * (tileW + gap);
        const int y = top + (i / columns) * (tileH + gap);
        ::MoveWindow(m_tiles[static_cast<std::size_t>(i)]->Hwnd(), x, y, std::max(1, tileW), std::max(1, tileH), TRUE);
    }
}

LRESULT CProductionView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case kMsgChild:
        if (wp == 0) TakeLines();
        else ChildEnded(static_cast<DWORD>(lp));
        return 0;
    case WM_SIZE: Layout(); return 0;
    case WM_CLOSE: Close(); return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // High contrast turned on or off: the tiles take the new colours.
        for (auto& tile : m_tiles) ::InvalidateRect(tile->Hwnd(), nullptr, FALSE);
        break;
    case dpi::kMsgDpiChanged:
        if (lp) {
            const RECT& r = *reinterpret_cast<const RECT*>(lp);
            m_fontHeight = 0;
            ::SetWindowPos(m_hWnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return Default();
    }
    return CDialogEx::WindowProc(msg, wp, lp);
}
