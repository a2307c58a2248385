// How a simulated target behaves. The native simulator takes these as
// command-line options ("--fail erase"), the built-in adapter of the library
// as keys of its settings file ("Fail=erase"); both go through
// SetScenarioOption, so the names are the same.
#pragma once

#include <cstdint>
#include <string>

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
    std::string Part;                    // part name; empty = the part the host expects
    std::int64_t AppearMs = 0;           // the first target appears after this; < 0 = never
    std::uint32_t CustomerId = 0;        // 0 = the library's own customer id
    std::uint32_t DeviceId = 0;          // 0 = the part's device id
    std::uint32_t MaxBaud = 0;           // 0 = the part's fastest rate
    std::uint32_t PageMs = 0;            // time to program one page
    std::uint32_t EraseMs = 0;           // time of one erase command
    bool Pace = false;                   // bytes take their time on the line at the current rate
    std::int64_t RepeatDelayMs = 300;    // after a run, the next target appears after this
    std::uint32_t Serial = 1;            // serial number of the first target
    FailPoint Fail = FailPoint::None;
    std::uint32_t FailOffset = 0;
};

// Sets one option by name ("part", "appear-ms", "never", "customer-id",
// "device-id", "max-baud", "page-ms", "erase-ms", "pace", "repeat-delay-ms",
// "serial", "fail", "fail-offset"). Numbers may be decimal or 0x hex.
// Returns false with a message for an unknown name or a bad value.
bool SetScenarioOption(Scenario& s, const std::string& name, const std::string& value, std::string* error);

// "none", "sync", "erase", ... as accepted by the "fail" option.
const char* FailPointName(FailPoint f);

}  // namespace tarvel
