// What the error output shows while a run of boards goes on: for a single
// port the progress bar or the re-power prompt of its board (Console.h's
// ProgressDisplay); for a gang the table of its ports, redrawn in place on a
// console, otherwise a plain line whenever a port's row changes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Console.h"
#include "cli/GangRun.h"

namespace cli {

class RunDisplay {
public:
    virtual ~RunDisplay() = default;
    // Port i's board has just started.
    virtual void BoardStarted(std::size_t port) = 0;
    // Called every turn of the run's loop with each port's last status word
    // and the run's seconds so far.
    virtual void Show(const GangRun& run, const std::vector<std::uint16_t>& status, double seconds) = 0;
    // Takes what is drawn off the screen before a line is printed.
    virtual void Clear() = 0;
};

// One port: the bar or the prompt of the running board.
std::unique_ptr<RunDisplay> MakeBoardDisplay(ProgressMode mode);
// A gang: the table of ports (nothing with --no-progress).
std::unique_ptr<RunDisplay> MakeGangDisplay(ProgressMode mode);

}  // namespace cli
