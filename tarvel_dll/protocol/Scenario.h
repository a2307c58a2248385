// How a simulated target behaves. The native simulator takes these as
// command-line options ("--fail erase"), the built-in adapter of the library
// as keys of its settings file ("fail=erase"); both go through
// ApplyScenarioOption, so the names are the same.
#pragma once

#include <cstdint>
#include <string>

#include "isp/IspRecords.h"
#include "tarvel_dll/protocol/PartsTable.h"

namespace tarvel {

enum class FailPoint {
    None,
    Sync,      // the bootloader refuses the handshake
    Erase,     // erase reports a failure
    Options,   // the option register cannot be written
    Config,    // the configuration register cannot be written
    Program,   // programming fails from byte FailOffset of the Flash on
    Verify,    // the Flash cell at FailOffset keeps a wrong value
    ReadInfo,  // the information block cannot be read
    Silent,    // the target stops answering once programming reaches FailOffset
};

struct Scenario {
    std::string Part;                  // part name; empty = the part the host expects
    std::int64_t AppearMs = 0;         // the first target appears after this; < 0 = never
    std::uint32_t CustomerId = 0;      // 0 = the library's own customer id
    std::uint32_t DeviceId = 0;        // 0 = the part's device id
    std::uint32_t MaxBaud = 0;         // 0 = the part's fastest rate
    std::uint32_t PageMs = 0;          // time to program one page
    std::uint32_t EraseMs = 0;         // time of one erase command
    bool Pace = false;                 // bytes take their time on the line at the current rate
    std::int64_t RepeatDelayMs = 300;  // after a run, the next target appears after this
    std::uint32_t Serial = 1;          // serial number of the first target
    FailPoint Fail = FailPoint::None;
    std::uint32_t FailOffset = 0;
    // Not the target's but the library's: the status word while no target
    // answers. Only the built-in adapter takes it; a real library may write
    // something other than 0xFFFF there.
    std::uint16_t WaitStatus = isp::kStatusWaitingForTarget;
};

// Sets one option by name ("part", "appear-ms", "never", "customer-id",
// "device-id", "max-baud", "page-ms", "erase-ms", "pace", "repeat-delay-ms",
// "serial", "fail", "fail-offset", "wait-status"). Names and the words of
// "fail" are taken in any case; a part is looked up in parts, in any case,
// and kept as the table spells it. Numbers are decimal (leading zeros too)
// or 0x hex, never negative. "never" takes no value; every other option
// needs one ("" = none given).
// Returns an empty string when the option was taken; else why not, one of
// "unknown option", "value missing", "takes no value", "not a number",
// "out of range, expected 0 to N", "unknown value, expected ...",
// "no such part in the table". s is left alone then.
std::string ApplyScenarioOption(Scenario& s, const std::string& name, const std::string& value, PartsView parts);

// The same against the regular parts table; the message starts with the
// option's name ("fail: unknown value, expected ...").
bool SetScenarioOption(Scenario& s, const std::string& name, const std::string& value, std::string* error);

// "none", "sync", "erase", ... as accepted by the "fail" option.
const char* FailPointName(FailPoint f);

// Reads a number as the options and the settings file write it: decimal
// digits, or 0x and hex digits, optionally after a minus sign. False when
// it is not such a number or does not fit in 64 bits.
bool ParseOptionNumber(const std::string& text, std::int64_t& out);

// ASCII lower case; option names and words compare through it.
std::string LowerAscii(std::string s);

}  // namespace tarvel
