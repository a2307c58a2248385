// The serial numbers of one program run: a sequence or a --serial-list, kept
// in memory or in a --serial-state file, set up before the first board.
#pragma once

#include <memory>
#include <string>

#include "cli/Arguments.h"
#include "cli/SerialBook.h"
#include "cli/StateFile.h"

namespace cli {

class SerialRun {
public:
    // Reads the list, opens and replays the state file. On failure returns
    // an exit code with *why; *note tells what a state file carried over.
    int Setup(const Options& o, std::wstring* note, std::wstring* why);
    SerialBook& Book() { return *book_; }

private:
    std::unique_ptr<SerialBook> book_;
    StateFile state_;
};

}  // namespace cli
