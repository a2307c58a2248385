// The rules the command line shares with the window's part, port and rate
// lists, checked against the library's parts table. Window-free.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Arguments.h"
#include "isp/IspRecords.h"
#include "isp/PartRules.h"
#include "isp/RateTable.h"

namespace cli {

// The part a name names (isp/PartRules.h).
using parts::FindPart;

// The port names a command takes (isp/RateTable.h).
using ::NormalizePort;
using ::PortChoice;

// What the link is opened and run with, once every choice has been checked.
struct LinkSettings {
    PortChoice port;
    std::int32_t baudRate = 0;  // 0: "Auto"
    std::int32_t checkRate = 0;
    std::wstring baudText, checkText;
};

// Checks the port, the rates and the option bits against the part, the way
// the window offers them: the rate lists of RateListItems for the port kind
// and the part's class, option boxes 0 .. VisibleOptions - 1. Dump needs a
// part of class 1 or 2. An EEPROM file needs a part with EEPROM. Returns an
// empty text when everything is allowed, otherwise what is not.
std::wstring CheckChoices(const Options& options, const isp::BodyInfo& part, LinkSettings* link);

}  // namespace cli
