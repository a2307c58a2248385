// What every command but "parts" starts with: Tarvel_DLL.dll loaded from the
// programmer's own folder, the part the options name with its link
// settings, and the images the --flash and --eeprom files build.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/Arguments.h"
#include "cli/ImageBuffer.h"
#include "cli/PartChoice.h"
#include "isp/IspRecords.h"
#include "isp/LibraryBinding.h"

namespace cli {

// The library and its parts table.
struct Library {
    isp::TarvelDll dll;
    isp::BodyInfo* table = nullptr;
    std::uint32_t count = 0;
};

// Each returns kExitOk, or the exit code of a failure already reported.
int LoadLibrary(Library& lib);
int LoadLibraryAndPart(const Options& o, Library& lib, std::int32_t* index, LinkSettings* link);
// Loads every --flash and --eeprom file in order, as Load File would.
int BuildImages(const Options& o, const isp::BodyInfo& part, ImageBuffer& flash, ImageBuffer& eeprom);

// Whether a file was given for the area.
bool HasArea(const Options& o, Area area);
// The record's setup flags from --erase-by-size and --rstn-cold-reset.
std::uint8_t SetupFlagsOf(const Options& o);

}  // namespace cli
