// The worker's side of a gang: a worker process has its one port open
// (a LocalBoard), says "ready", then programs the boards its parent sends
// over the standard input, each with its serial number, and reports each
// board's status and result on the standard output (cli/GangWire.h), until
// the parent closes the pipe. A lost port ends it after the board's result.
#pragma once

#include "cli/LocalBoard.h"

namespace cli {

// Returns the worker's exit code.
int ServeParent(LocalBoard& board);

}  // namespace cli
