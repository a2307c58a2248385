// The stand-in library's own settings file, Tarvel_DLL.ini beside the DLL.
// It selects test variants (parts table, version), plays the built-in
// adapter's target and tunes the link's deadlines. The tool's own settings
// are never read here. The file is read again at every call that uses it, so
// a test can change it between calls. What the entries mean and how they are
// checked is window-free (protocol/IniSettings.h); this part reads the file.
#pragma once

#include <string>

#include "tarvel_dll/protocol/IniSettings.h"

namespace tarvel {

// The whole file; a missing file or key gives the defaults. Entries that
// cannot be taken are listed in Problems.
DllSettings ReadDllSettings();

// Writes the problem's line to the debugger output.
void ReportSettingsProblem(const SettingsProblem& problem);

// Full path of Tarvel_DLL.ini next to this module.
std::wstring DllSettingsPath();

}  // namespace tarvel
