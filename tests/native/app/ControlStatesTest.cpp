// The main window's enable states, from the events the window tells its
// facts: one row a situation, with every control that is enabled in it (all
// others are disabled).
#include "app/ControlStates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using controls::Control;
using controls::ControlStates;
using controls::WindowFacts;
using isp::JobType;

using Step = std::function<void(WindowFacts&)>;
using Controls = std::vector<Control>;

Controls operator+(Controls a, const Controls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const char* const kNames[] = {"FamilyList", "PartList", "PortList",     "BaudRateList", "CheckRateList", "OpenPort",
                              "ClosePort",  "LoadFile", "UpdateTarget", "RepeatUpdate", "DumpInfo",      "ClearMessage",
                              "Assistant",  "Exit",     "AutoReload",   "EraseBySize",  "RstnColdReset", "EnableModify",
                              "Option0",    "Option1",  "Option2",      "Option3",      "Option4",       "Option5",
                              "Option6",    "Option7"};
static_assert(std::size(kNames) == controls::kControlCount, "a name for every control");

// -- The events.
// The start with a library that lists parts: the saved part is shown.
Step Start(unsigned options) {
    return [options](WindowFacts& f) {
        f.partsListed = true;
        f.PartChanged(options, false);
    };
}
Step PartChange(unsigned options) {
    return [options](WindowFacts& f) { f.PartChanged(options, false); };
}
const Step Load = [](WindowFacts& f) { f.Loaded(); };
Step OpenPort(std::int32_t partClass) {
    return [partClass](WindowFacts& f) { f.PortOpened(partClass); };
}
const Step ClosePort = [](WindowFacts& f) { f.PortClosed(); };
Step Enter(JobType type) {
    return [type](WindowFacts& f) { f.JobEntered(type); };
}
// A job from its start to its end, which leaves flashLength bytes in Flash.
Step Ran(JobType type, std::uint32_t flashLength) {
    return [type, flashLength](WindowFacts& f) {
        f.JobEntered(type);
        f.JobLeft(type, flashLength);
    };
}
const Step CheckAutoReload = [](WindowFacts& f) { f.autoReloadChecked = true; };
const Step CheckModifyBuffer = [](WindowFacts& f) { f.modifyBufferChecked = true; };
const Step LockProject = [](WindowFacts& f) { f.projectLocked = true; };
const Step UnlockProject = [](WindowFacts& f) { f.projectLocked = false; };

// -- Groups of controls that go together.
const Controls kPortSettings = {Control::PortList, Control::BaudRateList, Control::CheckRateList, Control::OpenPort};
const Controls kPartLists = {Control::FamilyList, Control::PartList};
const Controls kJobButtons = {Control::UpdateTarget, Control::RepeatUpdate};
// What a job takes away and gives back, besides the part lists, Close Port,
// Load File and the option boxes.
const Controls kIdle = {Control::ClearMessage,  Control::Assistant,  Control::Exit,        Control::EraseBySize,
                        Control::RstnColdReset, Control::AutoReload, Control::EnableModify};
Controls Options(unsigned n) {
    Controls c;
    for (unsigned i = 0; i < n; ++i) c.push_back(controls::OptionBox(i));
    return c;
}
Controls Without(Controls set, Control c) {
    set.erase(std::remove(set.begin(), set.end(), c), set.end());
    return set;
}
// The window at the start with a part of three options, port closed.
const Controls kStart = kPortSettings + kPartLists + kIdle + Controls{Control::LoadFile} + Options(3);
// The port open and no job, after the end of a job (the part lists are back).
const Controls kAfterJob = kPartLists + kIdle + Controls{Control::ClosePort, Control::LoadFile} + Options(3);
// What a locked project leaves the operator besides the port and the jobs.
const Controls kLockedIdle = {Control::ClearMessage, Control::Assistant, Control::Exit};

struct Case {
    const char* what;
    std::vector<Step> steps;
    Controls enabled;
};

std::string Differences(const ControlStates& got, const ControlStates& want) {
    std::string text;
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const Control c = static_cast<Control>(i);
        if (got.Enabled(c) != want.Enabled(c))
            text += std::string(" ") + kNames[i] + (got.Enabled(c) ? " is on" : " is off");
    }
    return text;
}

}  // namespace

TEST(ControlStates, EachSituationEnablesExactlyItsControls) {
    const Case cases[] = {
        {"start, port closed: no Close Port, job buttons or Dump Info", {Start(3)}, kStart},
        {"start with a library that lists no parts: no Load File; job buttons and all option boxes as the "
         "template has them",
         {},
         kPortSettings + kPartLists + kIdle + kJobButtons + Options(8)},
        {"a load with the port closed leaves the job buttons off", {Start(3), Load}, kStart},
        {"a part change shows its own option boxes",
         {Start(3), Load, PartChange(1)},
         kPortSettings + kPartLists + kIdle + Controls{Control::LoadFile} + Options(1)},
        {"Open Port without a file: lists and port settings off, Close Port on",
         {Start(3), OpenPort(0)},
         kIdle + Controls{Control::ClosePort, Control::LoadFile} + Options(3)},
        {"Open Port with a file loaded: job buttons on",
         {Start(3), Load, OpenPort(0)},
         kIdle + kJobButtons + Controls{Control::ClosePort, Control::LoadFile} + Options(3)},
        {"Open Port with a part of class 1 offers Dump Info",
         {Start(3), OpenPort(1)},
         kIdle + Controls{Control::ClosePort, Control::LoadFile, Control::DumpInfo} + Options(3)},
        {"Open Port with a part of class 2 offers Dump Info",
         {Start(3), OpenPort(2)},
         kIdle + Controls{Control::ClosePort, Control::LoadFile, Control::DumpInfo} + Options(3)},
        {"Open Port with a part of class 3 does not",
         {Start(3), OpenPort(3)},
         kIdle + Controls{Control::ClosePort, Control::LoadFile} + Options(3)},
        {"a load with the port open turns the job buttons on",
         {Start(3), OpenPort(0), Load},
         kIdle + kJobButtons + Controls{Control::ClosePort, Control::LoadFile} + Options(3)},
        {"an Update job runs: only its Stop button is on",
         {Start(3), Load, OpenPort(1), Enter(JobType::Update)},
         {Control::UpdateTarget}},
        {"a Repeat job runs: only its Stop button is on",
         {Start(3), Load, OpenPort(1), Enter(JobType::Repeat)},
         {Control::RepeatUpdate}},
        {"a Dump job runs: only its Stop button is on",
         {Start(3), Load, OpenPort(1), Enter(JobType::Dump)},
         {Control::DumpInfo}},
        {"a job started from its disabled button keeps it disabled",
         {Start(3), OpenPort(0), Enter(JobType::Update)},
         {}},
        {"an Update job's end: job buttons and Dump Info on for any class, the part lists back, the port "
         "settings still off",
         {Start(3), Load, OpenPort(0), Ran(JobType::Update, 8)},
         kAfterJob + kJobButtons + Controls{Control::DumpInfo}},
        {"a Repeat job's end does the same, with no file loaded",
         {Start(3), OpenPort(3), Ran(JobType::Repeat, 0)},
         kAfterJob + kJobButtons + Controls{Control::DumpInfo}},
        {"a passing dump's end: job buttons on (256 bytes in Flash), Dump Info as it was",
         {Start(3), OpenPort(1), Ran(JobType::Dump, 256)},
         kAfterJob + kJobButtons + Controls{Control::DumpInfo}},
        {"a failing dump after an EEPROM-only load: job buttons off although a file is loaded",
         {Start(3), Load, OpenPort(2), Ran(JobType::Dump, 0)},
         kAfterJob + Controls{Control::DumpInfo}},
        {"a dump's end does not offer Dump Info where Open Port did not",
         {Start(3), OpenPort(0), Ran(JobType::Dump, 256)},
         kAfterJob + kJobButtons},
        {"after an Update job's end a dump's end keeps Dump Info",
         {Start(3), OpenPort(0), Ran(JobType::Update, 0), Ran(JobType::Dump, 0)},
         kAfterJob + Controls{Control::DumpInfo}},
        {"a part change after a job's end, port open: job buttons off, Dump Info stays",
         {Start(3), Load, OpenPort(0), Ran(JobType::Update, 8), PartChange(2)},
         kPartLists + kIdle + Controls{Control::ClosePort, Control::LoadFile, Control::DumpInfo} + Options(2)},
        {"then a load: job buttons on again",
         {Start(3), OpenPort(0), Ran(JobType::Update, 8), PartChange(3), Load},
         kAfterJob + kJobButtons + Controls{Control::DumpInfo}},
        {"Close Port after a job: as at the start",
         {Start(3), Load, OpenPort(1), Ran(JobType::Update, 8), ClosePort},
         kStart},
        {"Open Port again: Dump Info by the part's class again, the part lists off",
         {Start(3), Load, OpenPort(0), Ran(JobType::Update, 8), ClosePort, OpenPort(0)},
         kIdle + kJobButtons + Controls{Control::ClosePort, Control::LoadFile} + Options(3)},
        {"Auto Reload Code checked: Enable Modify Buffer off",
         {Start(3), CheckAutoReload},
         Without(kStart, Control::EnableModify)},
        {"Enable Modify Buffer checked: Auto Reload Code off",
         {Start(3), CheckModifyBuffer},
         Without(kStart, Control::AutoReload)},
        {"a job's end keeps the two check boxes apart",
         {Start(3), CheckModifyBuffer, OpenPort(0), Ran(JobType::Update, 0)},
         Without(kAfterJob + kJobButtons + Controls{Control::DumpInfo}, Control::AutoReload)},
        {"no parts: a job's end gives Load File back and takes the template's option boxes",
         {OpenPort(-1), Ran(JobType::Update, 0)},
         kPartLists + kIdle + kJobButtons + Controls{Control::ClosePort, Control::LoadFile, Control::DumpInfo}},
        {"a locked project, port closed: the port list, Open Port and the log; no part, rate, file, option or "
         "check box",
         {Start(3), Load, LockProject},
         kLockedIdle + Controls{Control::PortList, Control::OpenPort}},
        {"a locked project with a check box ticked before: the box stays off as well",
         {Start(3), CheckAutoReload, Load, LockProject},
         kLockedIdle + Controls{Control::PortList, Control::OpenPort}},
        {"a locked project, port open: Update Target, Repeat Update and Close Port; Dump Info off even for a "
         "class that reads its block",
         {Start(3), Load, LockProject, OpenPort(1)},
         kLockedIdle + kJobButtons + Controls{Control::ClosePort}},
        {"a locked project while a job runs: its Stop button only",
         {Start(3), Load, LockProject, OpenPort(0), Enter(JobType::Repeat)},
         {Control::RepeatUpdate}},
        {"a locked project after an Update job's end: the part lists and Dump Info stay off",
         {Start(3), Load, LockProject, OpenPort(0), Ran(JobType::Update, 8)},
         kLockedIdle + kJobButtons + Controls{Control::ClosePort}},
        {"unlocked with the password: as without a project",
         {Start(3), Load, LockProject, OpenPort(0), UnlockProject},
         kIdle + kJobButtons + Controls{Control::ClosePort, Control::LoadFile} + Options(3)},
    };
    for (const Case& c : cases) {
        WindowFacts facts;
        for (const Step& step : c.steps) step(facts);
        ControlStates want;
        for (Control on : c.enabled) want.Set(on, true);
        const ControlStates got = controls::StatesFor(facts);
        EXPECT_TRUE(got == want) << c.what << ":" << Differences(got, want);
    }
}

TEST(ControlStates, ProjectMenuItemsFollowTheLockAndTheJob) {
    struct MenuCase {
        const char* what;
        std::vector<Step> steps;
        controls::MenuStates want;
    };
    const MenuCase cases[] = {
        {"no project: open and save, nothing to unlock", {Start(3)}, {true, true, false}},
        {"a locked project: another may be opened; saving waits for the password",
         {Start(3), Load, LockProject},
         {true, false, true}},
        {"unlocked again", {Start(3), Load, LockProject, UnlockProject}, {true, true, false}},
        {"a job runs: neither open nor save",
         {Start(3), Load, OpenPort(0), Enter(JobType::Update)},
         {false, false, false}},
        {"a job runs in a locked project: Unlock stays",
         {Start(3), Load, LockProject, OpenPort(0), Enter(JobType::Update)},
         {false, false, true}},
    };
    for (const MenuCase& c : cases) {
        WindowFacts facts;
        for (const Step& step : c.steps) step(facts);
        const controls::MenuStates got = controls::MenuStatesFor(facts);
        EXPECT_TRUE(got == c.want) << c.what << ": open " << got.openProject << " save " << got.saveProject
                                   << " unlock " << got.unlockProject;
    }
}
