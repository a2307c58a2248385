// Which of the main window's controls are enabled, as one rule over what the
// window knows: the port, the running job, the part shown, the loaded file,
// two check marks, and the few past events the states depend on. The window
// keeps one WindowFacts, tells it each event as it happens and then applies
// StatesFor() to its controls. Window-free, so that the rule is tested alone.
#pragma once

#include "isp/JobHost.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace controls {

// The controls whose enable state the rule decides.
enum class Control {
    FamilyList,
    PartList,
    PortList,
    BaudRateList,
    CheckRateList,
    OpenPort,
    ClosePort,
    LoadFile,
    UpdateTarget,
    RepeatUpdate,
    DumpInfo,
    ClearMessage,
    Assistant,
    Exit,
    AutoReload,
    EraseBySize,
    RstnColdReset,
    EnableModify,
    Option0,  // the eight option boxes follow in order
    Option7 = Option0 + 7,
    Count
};
constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::Count);
constexpr unsigned kOptionBoxes = 8;

constexpr Control OptionBox(unsigned n) {
    return static_cast<Control>(static_cast<int>(Control::Option0) + static_cast<int>(n));
}

class ControlStates {
public:
    bool Enabled(Control c) const { return m_on[Index(c)]; }
    void Set(Control c, bool on) { m_on[Index(c)] = on; }
    bool operator==(const ControlStates& other) const { return m_on == other.m_on; }
    bool operator!=(const ControlStates& other) const { return m_on != other.m_on; }

private:
    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }
    std::bitset<kControlCount> m_on;
};

// The last event that decided "Update Target" and "Repeat Update".
enum class JobButtonsSetBy {
    Nothing,       // none yet: as the dialog template has them (enabled)
    PortOrBuffer,  // a part change, a load, Open Port or Close Port
    UpdateEnded,   // an Update or Repeat job ended
    DumpEnded,     // a Dump job ended
};

struct WindowFacts {
    // -- As things are now.
    // The library lists parts. Without any, no part change ever runs.
    bool partsListed = false;
    bool portOpen = false;
    // The job between its EnterJob and its LeaveJob.
    std::optional<isp::JobType> job;
    // Option boxes the part shown by the last part change uses.
    unsigned visibleOptions = 0;
    // A load or reload passed since the last part change.
    bool fileLoaded = false;
    bool autoReloadChecked = false;    // "Auto Reload Code"
    bool modifyBufferChecked = false;  // "Enable Modify Buffer"
    // A locked project is open and has not been unlocked with its password.
    bool projectLocked = false;

    // -- What happened before.
    JobButtonsSetBy jobButtonsSetBy = JobButtonsSetBy::Nothing;
    // The last Dump job left bytes in the Flash buffer (a passing dump
    // leaves the 256 bytes it read; a failing one leaves what was there).
    bool dumpLeftFlash = false;
    // The class of the part selected when the port was opened (-1: none).
    std::int32_t partClassAtOpen = -1;
    // Since the port was opened: a job of any kind ended; an Update or
    // Repeat job ended.
    bool jobEndedSinceOpen = false;
    bool updateEndedSinceOpen = false;
    // A job of any kind has ended since the start.
    bool jobEnded = false;

    // -- The events, as the window handles them.
    // A part change has shown a part with `options` option boxes. jobStarted:
    // a job has been asked to start (its buttons are then left alone).
    void PartChanged(unsigned options, bool jobStarted);
    // A load or a reload passed (never while a job runs: they are refused).
    void Loaded();
    void PortOpened(std::int32_t partClass);
    void PortClosed();
    void JobEntered(isp::JobType type);
    // flashLength: the Flash buffer's length as the job leaves it.
    void JobLeft(isp::JobType type, std::uint32_t flashLength);
};

// The one rule: every control's enable state from the facts.
ControlStates StatesFor(const WindowFacts& facts);

// The project items of the system menu, by the same facts.
struct MenuStates {
    bool openProject = false;
    bool saveProject = false;
    bool unlockProject = false;
    bool operator==(const MenuStates& o) const {
        return openProject == o.openProject && saveProject == o.saveProject && unlockProject == o.unlockProject;
    }
};
MenuStates MenuStatesFor(const WindowFacts& facts);

}  // namespace controls
