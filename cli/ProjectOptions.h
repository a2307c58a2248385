// A project run's options: `image --project` and `program --project` take
// the project's set-up, with the command line's own options over it where
// the project is not locked. Window-free: opening the project and checking
// its files is the caller's (cli/ProjectCommands.h).
#pragma once

#include <string>

#include "cli/Arguments.h"
#include "project/Project.h"

namespace cli {

// Whether an option may be given with a locked project: it says where, how
// often and with which records the set-up runs, not what the set-up is
// (--port, --repeat, --forever, --keep-going, --stop-on-fail, --out,
// --eeprom-out, --log, --json, --progress, --no-progress).
bool FreeWithLockedProject(const std::wstring& option);

// Takes project p, whose folder is folder, into *o, the options of image or
// program with --project: the part, the rates, the option bits, the two
// flags and the files in order (paths resolved against folder); for program
// also the serial settings, the ports and the log; each where the command
// line gives none (a flag the command line gives turns it on). Empty text,
// or the usage error: an option a locked project refuses (naming it), no
// port for program, or a rule between the options that the project and the
// command line break together.
std::wstring ApplyProject(const project::Project& p, const std::wstring& folder, Options* o);

}  // namespace cli
