// The content of the library's own settings file Tarvel_DLL.ini, taken
// apart without windows: the Win32 side hands over the sections as the
// profile functions give them, and gets back the settings and every entry
// that could not be taken. An entry is never skipped quietly: a test that
// set something must either get it or be told why not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/PartsTable.h"
#include "tarvel_dll/protocol/Scenario.h"

namespace tarvel {

// One section as the file has it: its name as written and its lines,
// "key=value" or a bare "key". Lines starting with ';' are comments.
struct IniSection {
    std::string Name;
    std::vector<std::string> Lines;
};

// An entry that could not be taken.
struct SettingsProblem {
    std::string Section;  // as written in the file
    std::string Text;     // one line: "Tarvel_DLL.ini [Adapter] fail=bogus: unknown value, ..."
};

// The re-seat delay of the built-in adapter: the time a person takes to lift
// a programmed chip out of the socket and put the next one in.
constexpr std::int64_t kAdapterRepeatDelayMs = 2000;

// The built-in adapter's target as it is without any [Adapter] entry: like
// the hardware, every byte takes its line time at the rate in use (after
// "Auto", the rate the library picked), and the next chip is seated
// kAdapterRepeatDelayMs after the programmed one left. The simulator keeps
// the plain Scenario defaults (no pacing, 300 ms).
Scenario AdapterDefaults();

struct DllSettings {
    TableVariant Table = TableVariant::Normal;  // [Parts] Table
    std::uint32_t Version = 0x01000007u;        // [Info] Version, 1.0.0.7
    std::int32_t Edition = 0;                   // [Info] Edition
    Scenario Adapter = AdapterDefaults();       // [Adapter]: the built-in adapter's target
    HostTiming Timing;                          // [Link]
    std::vector<SettingsProblem> Problems;      // in the order found

    // The first problem, or the first one in the named section (any case).
    const SettingsProblem* FirstProblem(const char* section = nullptr) const;
};

// Missing sections and keys keep the defaults. Everything else is checked:
// unknown sections and keys, values that are not what the key takes, keys
// given twice. [Parts] is read first, so that [Adapter] part= names a part of
// the table it selects; a part that table lacks is a problem.
DllSettings ParseDllSettings(const std::vector<IniSection>& file);

}  // namespace tarvel
