// The stand-in library's table of supported parts, and the facts about each
// part that only the library and the simulated target need (device id, page
// size). Window-free: the native simulator and the native tests use it too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "isp/IspRecords.h"

namespace tarvel {

// What the bootloader of a part reports and how its memories are organised.
struct PartTraits {
    std::uint32_t DeviceId;  // answered by the target in the identify reply
    std::uint32_t PageSize;  // Flash and EEPROM are erased and written by page
    std::uint32_t MaxBaud;   // fastest download rate the bootloader supports
};

// Which table GetBodyInfo hands out. Selected by the library's own settings
// file, so that the tool can be tested against unusual tables.
enum class TableVariant {
    Normal,    // the regular parts
    Empty,     // no parts at all
    HighBits,  // the regular parts plus parts in family bits above 13
};

struct PartsView {
    const isp::BodyInfo* Body;
    const PartTraits* Traits;
    std::uint32_t Count;
};

PartsView Parts(TableVariant variant);

// The customer id burnt into the bootloader of every target this library is
// allowed to program.
constexpr std::uint32_t kCustomerId = 0x54560001u;

// Index of the part whose name matches exactly, or -1. Narrow names compare
// against the wide table names character by character (ASCII only).
int FindPart(PartsView parts, const char* name);

}  // namespace tarvel
