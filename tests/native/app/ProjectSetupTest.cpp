// The window's side of project files without a window: the load history a
// saved project is made of, the title, the run settings kept on a save.
#include "app/ProjectSetup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using setup::BufferHistory;
using setup::LoadedFile;

TEST(ProjectSetup, TheHistoryHoldsTheFilesSinceTheBufferLastStartedAgain) {
    const LoadedFile boot{L"C:\\fw\\boot.hex", 0, false};
    const LoadedFile app{L"C:\\fw\\app.bin", 0x4000, false};
    const LoadedFile fresh{L"C:\\fw\\app.hex", 0, true};
    using Step = std::function<void(BufferHistory&)>;
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::vector<std::wstring> paths;
        bool edited, readBack;
    };
    const Case cases[] = {
        {"merged loads add up",
         {[&](BufferHistory& h) { h.Loaded(boot, false); }, [&](BufferHistory& h) { h.Loaded(app, true); }},
         {boot.path, app.path},
         false,
         false},
        {"a load that does not merge starts again, and forgets an edit",
         {[&](BufferHistory& h) { h.Loaded(boot, false); }, [](BufferHistory& h) { h.editedByHand = true; },
          [&](BufferHistory& h) { h.Loaded(fresh, false); }},
         {fresh.path},
         false,
         false},
        {"an edit stays through a merged load",
         {[&](BufferHistory& h) { h.Loaded(boot, false); }, [](BufferHistory& h) { h.editedByHand = true; },
          [&](BufferHistory& h) { h.Loaded(app, true); }},
         {boot.path, app.path},
         true,
         false},
        {"reloading the last file where it was loaded adds nothing",
         {[&](BufferHistory& h) { h.Loaded(boot, false); },
          [&](BufferHistory& h) { h.Reloaded(boot.path, boot.address); }},
         {boot.path},
         false,
         false},
        {"reloading at another offset lays the file again",
         {[&](BufferHistory& h) { h.Loaded(boot, false); }, [&](BufferHistory& h) { h.Reloaded(boot.path, 0x100); }},
         {boot.path, boot.path},
         false,
         false},
        {"a read back forgets the files",
         {[&](BufferHistory& h) { h.Loaded(boot, false); }, [](BufferHistory& h) { h.ReadBack(); }},
         {},
         false,
         true},
        {"a load after a read back starts again",
         {[](BufferHistory& h) { h.ReadBack(); }, [&](BufferHistory& h) { h.Loaded(app, false); }},
         {app.path},
         false,
         false},
    };
    for (const Case& c : cases) {
        BufferHistory history;
        for (const Step& step : c.steps) step(history);
        std::vector<std::wstring> paths;
        for (const LoadedFile& f : history.files) paths.push_back(f.path);
        EXPECT_EQ(paths, c.paths) << c.what;
        EXPECT_EQ(history.editedByHand, c.edited) << c.what;
        EXPECT_EQ(history.readBack, c.readBack) << c.what;
    }
}

TEST(ProjectSetup, TheTitleNamesTheProjectAndItsFlashImage) {
    EXPECT_EQ(setup::ProjectTitle(L"Tessaro Tarvel v1.2.3.4", L"line1", 0x1A2B3C4D),
              L"Tessaro Tarvel v1.2.3.4 - line1 [1A2B3C4D]");
    EXPECT_EQ(setup::ProjectTitle(L"T", L"x", 0xABC), L"T - x [00000ABC]");
}

TEST(ProjectSetup, RunSettingsMoveWithAProjectSavedElsewhere) {
    project::Project open;
    open.note = L"line 1";
    open.serial.enabled = true;
    open.serial.listFile = L"lists/macs.txt";
    open.serial.stateFile = L"state/serial.state";
    open.ports = {L"COM3", L"COM4"};
    open.log = L"runs.csv";
    project::Project saved;
    setup::KeepRunSettings(open, L"C:\\lines\\one\\", L"C:\\lines\\", saved);
    EXPECT_EQ(saved.note, L"line 1");
    EXPECT_EQ(saved.ports, open.ports);
    // The list is read where it was; what the tool writes stays in the
    // project's own folder.
    EXPECT_EQ(saved.serial.listFile, L"one/lists/macs.txt");
    EXPECT_EQ(saved.serial.stateFile, L"state/serial.state");
    EXPECT_EQ(saved.log, L"runs.csv");
    EXPECT_TRUE(saved.serial.enabled);
}

}  // namespace
