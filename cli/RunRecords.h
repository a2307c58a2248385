// The start of a program run's records, the same for one port and a gang:
// the serial numbers (reported as a failure, or with a note of what a state
// file carried over) and the CSV log opened for appending.
#pragma once

#include "cli/Arguments.h"
#include "cli/Files.h"
#include "cli/SerialRun.h"

namespace cli {

// Sets up `serials` when the run writes serial numbers, opens `log` when it
// keeps one and `units` when it writes the record of every unit (--units).
// Returns kExitOk, or the exit code of a failure already reported.
int StartRunRecords(const Options& o, SerialRun& serials, CsvLog& log, CsvLog& units);

}  // namespace cli
