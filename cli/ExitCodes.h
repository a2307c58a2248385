// Exit codes of Tarvel_CLI. Scripts on a production line branch on them, so
// the numbers never change meaning; --help and README.md list them.
#pragma once

namespace cli {

enum ExitCode : int {
    kExitOk = 0,             // every board passed (or the command did its job)
    kExitBoardFailed = 1,    // at least one board (or the dump) ended with a result other than Pass or Stop
    kExitUsage = 2,          // unknown option, missing value, bad number, unknown part or rate,
                             // serial field that does not fit
    kExitFile = 3,           // a file could not be opened, read or written, "HEX file error",
                             // "File is too large !"
    kExitLibrary = 4,        // Tarvel_DLL.dll missing, lacking an operation or listing no parts
    kExitPort = 5,           // the COM port does not exist or is busy, or the library could not open the link
    kExitStopped = 6,        // Ctrl+C: the library answered Stop and no board failed
    kExitSerialsUsedUp = 7,  // the serial list or the field had no value left for the next board
};

}  // namespace cli
