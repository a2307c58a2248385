// A fixture for end-to-end tests that load files and talk to a target: the
// real tool in a folder of its own with the stand-in library (its adapter
// unpaced, so runs are quick) and a chosen part, plus the user's gestures the
// tests repeat.
#pragma once

#include "res/resource.h"
#include "tests/e2e/ToolDriver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;

// Control ids of the main window, the insert-area dialog and the pages.
constexpr int kExit = 2, kFamilyList = 1013, kPortList = 1014, kBaudList = 1015, kCheckList = 1016, kPartList = 1017,
              kAutoReload = 1018, kEraseBySize = 1019, kOption0 = 1020, kEnableModify = 1028, kLog = 1029,
              kUpdate = 1034, kRepeat = 1035, kDumpInfo = 1036, kLoadFile = 1037, kClearMessage = 1053,
              kOpenPort = 1068, kClosePort = 1069, kProgress = 1040, kTab = 1056;
constexpr int kClearBuffer = 1048, kAddressEdit = 1049, kAreaAp = 1051, kAreaIap = 1052;
constexpr int kFlashPath = 1063, kFlashSize = 1064, kFlashSum = 1065, kEepromSum = 1058, kEepromSize = 1059,
              kEepromPath = 1060;

// Record index of a part in the stand-in library's table, -1 when absent.
int PartIndex(const std::wstring& name);
// The name of the part's first family, as the family list shows it.
std::wstring FamilyOf(const std::wstring& name);

// "%04X" of the 16-bit byte sum.
std::wstring SumText(const Bytes& bytes);

class ToolFixture : public ::testing::Test {
protected:
    // Installs the tool with the library, a Tarvel_DLL.ini holding the
    // adapter keys given (after pacing off and a short re-seat delay) and a
    // Setting.ini that starts on the part, then starts it.
    // Arguments and a current folder go to the tool's command line.
    void Start(const std::wstring& part, const std::string& adapterKeys = "", const std::wstring& arguments = L"",
               const std::wstring& currentFolder = L"");
    void TearDown() override;

    std::wstring PageText(int tab, int id) const { return Tool::Text(tool->PageItem(tab, id)); }
    bool Enabled(int id) const { return tool->ItemEnabled(id); }
    // "Load File" into the Flash tab, insert area as offered (code, offset 0).
    void LoadFlash(const std::wstring& path);
    // Chooses the part's family and then the part, as a user does.
    void SelectPart(const std::wstring& part);
    void WriteLibrarySettings(const std::string& adapterKeys);

    TempFolder dir;
    std::unique_ptr<Tool> tool;
};

}  // namespace e2e
