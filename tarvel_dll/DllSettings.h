// The stand-in library's own settings file, Tarvel_DLL.ini beside the DLL.
// It selects test variants (parts table, version) and plays the built-in
// adapter's target. The tool's own settings are never read here.
#pragma once

#include <cstdint>
#include <string>

#include "tarvel_dll/protocol/PartsTable.h"

namespace tarvel {

struct DllSettings {
    TableVariant Table = TableVariant::Normal;
    std::uint32_t Version = 0x01000007u;  // 1.0.0.7
    std::int32_t Edition = 0;
};

// Reads the file once per call; a missing file or key gives the defaults.
DllSettings ReadDllSettings();

// Full path of Tarvel_DLL.ini next to this module.
std::wstring DllSettingsPath();

}  // namespace tarvel
