// The dialog framework: the modal loop's PreTranslateMessage routing, dialog
// results, and subclassing lifetime.
#include "framework/Dialog.h"
#include "framework/UiTask.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Log = std::vector<std::wstring>;

// Records the keys it sees before the dialog manager; swallows 'Q'.
class KeyRecorder : public CWnd {
public:
    explicit KeyRecorder(Log& log) : m_log(log) {}
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message != WM_KEYDOWN) return FALSE;
        m_log.push_back(L"edit " + std::wstring(1, static_cast<wchar_t>(msg->wParam)));
        return msg->wParam == 'Q';
    }

private:
    Log& m_log;
};

class ScriptedDialog : public CDialogEx {
public:
    ScriptedDialog(Log& log, std::vector<std::pair<UINT, WPARAM>> keys)
        : CDialogEx(IDD_SELECT_AREA), m_edit(log), m_log(log), m_keys(std::move(keys)) {}

    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN)
            m_log.push_back(L"dialog " + std::wstring(1, static_cast<wchar_t>(msg->wParam)));
        return FALSE;
    }
    KeyRecorder m_edit;

protected:
    BOOL OnInitDialog() override {
        CDialogEx::OnInitDialog();
        ::EnableWindow(GetDlgItem(IDC_ADDRESS_EDIT), TRUE);
        for (auto [msg, key] : m_keys) ::PostMessageW(m_edit.m_hWnd, msg, key, 0);
        ::PostMessageW(m_hWnd, WM_APP, 0, 0);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_ADDRESS_EDIT, m_edit); }
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_APP) {
            EndDialog(42);
            return 0;
        }
        return CDialogEx::WindowProc(msg, wp, lp);
    }

private:
    Log& m_log;
    std::vector<std::pair<UINT, WPARAM>> m_keys;
};

// Logs the messages posted before it was shown, each call of its idle work,
// and the timer that ends it.
class IdleDialog : public CDialogEx {
public:
    explicit IdleDialog(Log& log) : CDialogEx(IDD_SELECT_AREA), m_log(log) {}

protected:
    BOOL OnInitDialog() override {
        CDialogEx::OnInitDialog();
        for (int i = 0; i < 3; ++i) ::PostMessageW(m_hWnd, WM_APP + 1, 0, 0);
        return TRUE;
    }
    bool OnKickIdle(long count) override {
        m_log.push_back(L"idle " + std::to_wstring(count));
        if (count < 2) return true;
        // The loop waits (idle again) before the dialog ends.
        ::SetTimer(m_hWnd, 1, 50, nullptr);
        return false;
    }
    void OnTimer(UINT_PTR) override {
        m_log.push_back(L"timer");
        EndDialog(7);
    }
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg != WM_APP + 1) return CDialogEx::WindowProc(msg, wp, lp);
        m_log.push_back(L"posted");
        return 0;
    }

private:
    Log& m_log;
};

}  // namespace

TEST(ModalLoop, PreTranslateReachesTheTargetThenItsParentsAndCanSwallow) {
    Log log;
    ScriptedDialog dlg(log, {{WM_KEYDOWN, 'Q'}, {WM_KEYDOWN, 'W'}});
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_EQ(log, (Log{L"edit Q", L"edit W", L"dialog W"}));
    // The window is gone and the control's binding with it.
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_edit.m_hWnd, nullptr);
}

TEST(ModalLoop, EscapeEndsTheDialogWithCancelThroughTheDialogManager) {
    Log log;
    ScriptedDialog dlg(log, {{WM_KEYDOWN, VK_ESCAPE}});
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST(ModalLoop, IdleWorkWaitsForWhatIsQueuedAndStopsOnceDeclined) {
    Log log;
    IdleDialog dlg(log);
    EXPECT_EQ(dlg.DoModal(), 7);
    EXPECT_EQ(log, (Log{L"posted", L"posted", L"posted", L"idle 0", L"idle 1", L"idle 2", L"timer"}));
}

TEST(ModalLoop, MissingTemplateGivesMinusOne) {
    CDialogEx dlg(4711);
    EXPECT_EQ(dlg.DoModal(), -1);
}

TEST(Subclassing, TheObjectIsFoundByHandleAndLetsGoWhenTheWindowDies) {
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    {
        CWnd w;
        ASSERT_TRUE(w.SubclassWindow(edit));
        EXPECT_EQ(CWnd::FromHandlePermanent(edit), &w);
        CWnd other;
        EXPECT_FALSE(other.SubclassWindow(edit));  // one owner at a time
        EXPECT_EQ(w.GetWindowText(), L"abc");      // unhandled messages reach the edit
        ::DestroyWindow(edit);
        EXPECT_EQ(w.m_hWnd, nullptr);
    }
    HWND edit2 = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    {
        CWnd w;
        ASSERT_TRUE(w.SubclassWindow(edit2));
    }  // the object goes first: the window must not keep calling into it
    EXPECT_EQ(CWnd::FromHandlePermanent(edit2), nullptr);
    ::SetWindowTextW(edit2, L"still alive");
    ::DestroyWindow(edit2);
}

namespace {

// A page whose initialisation fails halfway.
class ThrowingDialog : public CDialogEx {
public:
    ThrowingDialog() : CDialogEx(IDD_SELECT_AREA) {}

protected:
    BOOL OnInitDialog() override {
        CDialogEx::OnInitDialog();
        throw std::runtime_error("resource exhausted");
    }
};

// Pumps messages on this thread until done is set or the deadline passes.
bool PumpUntil(const std::atomic<bool>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done.load()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace

TEST(UiTask, RunsOnTheWindowsThreadAndFailsCleanlyOnceTheWindowIsGone) {
    CDialogEx page(IDD_SELECT_AREA);
    ASSERT_TRUE(page.Create(IDD_SELECT_AREA, nullptr));
    const DWORD uiThread = ::GetCurrentThreadId();

    std::atomic<bool> done{false};
    DWORD ranOn = 0;
    std::optional<int> answer;
    bool ranAfterDestroy = true;
    std::optional<int> answerAfterDestroy{1};
    HWND hwnd = page.m_hWnd;
    std::thread job([&] {
        RunOnWindowThread(hwnd, [&] { ranOn = ::GetCurrentThreadId(); });
        answer = CallOnWindowThread(hwnd, [] { return 42; });
        RunOnWindowThread(hwnd, [&] { ::DestroyWindow(hwnd); });
        ranAfterDestroy = RunOnWindowThread(hwnd, [] {});
        answerAfterDestroy = CallOnWindowThread(hwnd, [] { return 7; });
        done = true;
    });
    const bool finished = PumpUntil(done, 10000);
    job.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(ranOn, uiThread);
    EXPECT_EQ(answer, 42);
    EXPECT_FALSE(ranAfterDestroy);
    EXPECT_FALSE(answerAfterDestroy.has_value());
    EXPECT_FALSE(RunOnWindowThread(nullptr, [] {}));
}

TEST(UiTask, AThrowingTaskReportsFailureAndTheWindowLivesOn) {
    CDialogEx page(IDD_SELECT_AREA);
    ASSERT_TRUE(page.Create(IDD_SELECT_AREA, nullptr));
    EXPECT_FALSE(RunOnWindowThread(page.m_hWnd, [] { throw std::runtime_error("x"); }));
    EXPECT_TRUE(RunOnWindowThread(page.m_hWnd, [] {}));
}

TEST(Dialog, AnInitialisationThatThrowsLeavesNoHalfMadeWindow) {
    ThrowingDialog modal;
    EXPECT_EQ(modal.DoModal(), -1);
    EXPECT_FALSE(modal.IsWindow());
    ThrowingDialog page;
    EXPECT_FALSE(page.Create(IDD_SELECT_AREA, nullptr));
    EXPECT_FALSE(page.IsWindow());
}
