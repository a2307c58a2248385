#include "app/ControlStates.h"

#include "isp/PartRules.h"

namespace controls {

void WindowFacts::PartChanged(unsigned options, bool jobStarted) {
    visibleOptions = options;
    fileLoaded = false;
    if (!jobStarted) jobButtonsSetBy = JobButtonsSetBy::PortOrBuffer;
}

void WindowFacts::Loaded() {
    fileLoaded = true;
    jobButtonsSetBy = JobButtonsSetBy::PortOrBuffer;
}

void WindowFacts::PortOpened(std::int32_t partClass) {
    portOpen = true;
    partClassAtOpen = partClass;
    jobEndedSinceOpen = false;
    updateEndedSinceOpen = false;
    jobButtonsSetBy = JobButtonsSetBy::PortOrBuffer;
}

void WindowFacts::PortClosed() {
    portOpen = false;
    jobButtonsSetBy = JobButtonsSetBy::PortOrBuffer;
}

void WindowFacts::JobEntered(isp::JobType type) { job = type; }

void WindowFacts::JobLeft(isp::JobType type, std::uint32_t flashLength) {
    job.reset();
    jobEnded = true;
    jobEndedSinceOpen = true;
    if (type == isp::JobType::Dump) {
        jobButtonsSetBy = JobButtonsSetBy::DumpEnded;
        dumpLeftFlash = flashLength != 0;
    } else {
        jobButtonsSetBy = JobButtonsSetBy::UpdateEnded;
        updateEndedSinceOpen = true;
    }
}

namespace {

// "Update Target" and "Repeat Update" as the last event that decided them
// left them.
bool JobButtonsOn(const WindowFacts& f) {
    switch (f.jobButtonsSetBy) {
    case JobButtonsSetBy::Nothing: return true;
    case JobButtonsSetBy::PortOrBuffer: return f.portOpen && f.fileLoaded;
    case JobButtonsSetBy::UpdateEnded: return true;
    case JobButtonsSetBy::DumpEnded: return f.dumpLeftFlash;
    }
    return false;
}

}  // namespace

ControlStates StatesFor(const WindowFacts& f) {
    ControlStates s;
    const bool idle = !f.job;
    const auto runs = [&f](isp::JobType type) { return f.job && *f.job == type; };

    // The link's settings are fixed while the port is open.
    for (Control c : {Control::PortList, Control::BaudRateList, Control::CheckRateList, Control::OpenPort})
        s.Set(c, !f.portOpen);
    // Open Port takes the part away; the end of a job gives it back although
    // the port stays open.
    const bool partLists = idle && (!f.portOpen || f.jobEndedSinceOpen);
    s.Set(Control::FamilyList, partLists);
    s.Set(Control::PartList, partLists);
    s.Set(Control::ClosePort, idle && f.portOpen);
    // Without a part there is no capacity to load against, until a job's
    // end gives the controls back.
    s.Set(Control::LoadFile, idle && (f.partsListed || f.jobEnded));
    for (Control c :
         {Control::ClearMessage, Control::Assistant, Control::Exit, Control::EraseBySize, Control::RstnColdReset})
        s.Set(c, idle);
    // "Auto Reload Code" and "Enable Modify Buffer" exclude each other.
    s.Set(Control::AutoReload, idle && !f.modifyBufferChecked);
    s.Set(Control::EnableModify, idle && !f.autoReloadChecked);
    // The part's own option boxes; with no part ever shown, all of them as
    // the template has them, until a job's end gives the controls back.
    const bool templateOptions = !f.partsListed && !f.jobEnded;
    for (unsigned n = 0; n < kOptionBoxes; ++n) s.Set(OptionBox(n), idle && (n < f.visibleOptions || templateOptions));

    // While a job runs its own button is its Stop button and keeps its
    // state; the other two are off.
    const bool jobButtons = JobButtonsOn(f);
    s.Set(Control::UpdateTarget, jobButtons && (idle || runs(isp::JobType::Update)));
    s.Set(Control::RepeatUpdate, jobButtons && (idle || runs(isp::JobType::Repeat)));
    // Dump Info: Open Port offers it for the fixed-rate classes, which can
    // read their information block; the end of an Update or Repeat job
    // offers it whatever the part. A Dump job's end leaves it as it was.
    const bool dump = f.portOpen && (f.updateEndedSinceOpen || parts::IsFixedRateClass(f.partClassAtOpen));
    s.Set(Control::DumpInfo, dump && (idle || runs(isp::JobType::Dump)));

    // A locked project leaves the operator the port, the jobs that program
    // and the log. Whatever would change the part, the rates, the files, the
    // options or the buffers waits for the password; Dump Info too, as it
    // replaces the Flash buffer.
    if (f.projectLocked) {
        for (Control c : {Control::FamilyList, Control::PartList, Control::BaudRateList, Control::CheckRateList,
                          Control::LoadFile, Control::DumpInfo, Control::AutoReload, Control::EraseBySize,
                          Control::RstnColdReset, Control::EnableModify})
            s.Set(c, false);
        for (unsigned n = 0; n < kOptionBoxes; ++n) s.Set(OptionBox(n), false);
    }
    return s;
}

MenuStates MenuStatesFor(const WindowFacts& f) {
    MenuStates m;
    // Another project is a prepared set-up, not a change by hand: it may
    // replace a locked one. Saving a locked project would let its copy go
    // out without the lock.
    m.openProject = !f.job;
    m.saveProject = !f.job && !f.projectLocked;
    m.unlockProject = f.projectLocked;
    return m;
}

}  // namespace controls
