// The version check's threads: a result handed over while the window's
// thread stops the check, results arriving on the window's thread, and a
// download given up on that still cleans up after itself.
#include "framework/Dialog.h"
#include "res/resource.h"
#include "tests/e2e/HttpTestServer.h"
#include "tests/e2e/ToolDriver.h"
#include "update/CheckTask.h"
#include "update/VersionFetch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using update::CheckTask;
using update::FetchRequest;
using update::FetchResult;
using update::FetchStatus;

// A window of ours on this thread, to receive results.
class Target : public CDialogEx {
public:
    Target() : CDialogEx(IDD_SELECT_AREA) {}
};

bool Pump(const std::function<bool()>& until, DWORD timeoutMs = 20000) {
    return e2e::WaitUntil(
        [&] {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            return until();
        },
        timeoutMs);
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
    return names;
}

TEST(CheckTask, ResultArrivesOnTheWindowsThread) {
    Target window;
    ASSERT_TRUE(window.Create(IDD_SELECT_AREA, nullptr));
    CheckTask task;
    bool ran = false;
    DWORD thread = 0;
    FetchStatus status = FetchStatus::Read;
    // No usable server: the fetch ends at once without the network.
    ASSERT_TRUE(task.Start(window.m_hWnd, FetchRequest{}, [&](const FetchResult& r) {
        ran = true;
        thread = ::GetCurrentThreadId();
        status = r.status;
    }));
    EXPECT_TRUE(Pump([&] { return ran; }));
    EXPECT_EQ(thread, ::GetCurrentThreadId());
    EXPECT_EQ(status, FetchStatus::NotFetched);
    task.Stop();
}

// The check's thread waits in RunOnWindowThread for this thread while this
// thread stops the check: Stop must neither deadlock nor run the result.
TEST(CheckTask, StopWhileTheResultIsHandedOverDropsItAndReturns) {
    Target window;
    ASSERT_TRUE(window.Create(IDD_SELECT_AREA, nullptr));
    CheckTask task;
    bool ran = false;
    ASSERT_TRUE(task.Start(window.m_hWnd, FetchRequest{}, [&](const FetchResult&) { ran = true; }));
    // Looking at the queue does not answer what was sent.
    ASSERT_TRUE(e2e::WaitUntil([] { return (HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }, 20000));
    task.Stop();
    EXPECT_FALSE(ran);
}

TEST(CheckTask, DestroyingTheTaskDuringASilentFetchReturnsAtOnce) {
    e2e::HttpTestServer silent(e2e::HttpTestServer::Mode::Silent);
    ASSERT_TRUE(silent.Started());
    e2e::TempFolder folder;
    Target window;
    ASSERT_TRUE(window.Create(IDD_SELECT_AREA, nullptr));
    bool ran = false;
    {
        CheckTask task;
        FetchRequest request{silent.Address() + L"/files/Download/Tools/tools_version.ini", folder.Path(), 0, 60000};
        ASSERT_TRUE(task.Start(window.m_hWnd, request, [&](const FetchResult&) { ran = true; }));
        ASSERT_TRUE(e2e::WaitUntil([&] { return silent.Connections() >= 1; }));
        // ~CheckTask stops it here; the test's own deadline would notice a
        // wait for the 60 s bound.
    }
    EXPECT_FALSE(ran);
}

// A fetch whose bound passed leaves its download running (it cannot be
// interrupted while the server is silent); when that download finally ends,
// it removes its own file and never makes a "tools_version.ini".
TEST(VersionFetch, DownloadGivenUpOnCleansUpWhenItEnds) {
    e2e::TempFolder folder;
    {
        e2e::HttpTestServer silent(e2e::HttpTestServer::Mode::Silent);
        ASSERT_TRUE(silent.Started());
        FetchRequest request{silent.Address() + L"/files/Download/Tools/tools_version.ini", folder.Path(), 0, 1000};
        const FetchResult result = update::FetchServerInfo(request, nullptr);
        EXPECT_EQ(result.status, FetchStatus::NotFetched);
        EXPECT_EQ(result.filePath, folder.Path() + L"tools_version.ini");
        EXPECT_EQ(FilesIn(folder.Path()).size(), 1u) << "the running download's own file";
    }  // the server goes and drops the connection: the download ends
    EXPECT_TRUE(e2e::WaitUntil([&] { return FilesIn(folder.Path()).empty(); }));
}

}  // namespace
