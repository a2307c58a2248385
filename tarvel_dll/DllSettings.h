// The stand-in library's own settings file, Tarvel_DLL.ini beside the DLL.
// It selects test variants (parts table, version), plays the built-in
// adapter's target and tunes the link's deadlines. The tool's own settings
// are never read here. The file is read again at every call that uses it, so
// a test can change it between calls.
#pragma once

#include <cstdint>
#include <string>

#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/PartsTable.h"
#include "tarvel_dll/protocol/Scenario.h"

namespace tarvel {

struct DllSettings {
    TableVariant Table = TableVariant::Normal;
    std::uint32_t Version = 0x01000007u;  // 1.0.0.7
    std::int32_t Edition = 0;
    Scenario Adapter;   // section [Adapter]: the built-in adapter's target
    HostTiming Timing;  // section [Link]
};

// A missing file or key gives the defaults; a bad [Adapter] entry is skipped.
DllSettings ReadDllSettings();

// Full path of Tarvel_DLL.ini next to this module.
std::wstring DllSettingsPath();

}  // namespace tarvel
