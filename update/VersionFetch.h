// Fetching "tools_version.ini" from the maker's server and reading one
// edition's keys from it, within a bound. No window is touched: the caller
// runs this off the UI thread (update/CheckTask.h) and shows the result.
#pragma once

#include "update/CheckRules.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace update {

struct FetchRequest {
    std::wstring url;        // the version file's address; "" when there is no usable server
    std::wstring exeFolder;  // the program's folder, trailing backslash included
    std::int32_t edition = 0;
    DWORD boundMs = kDefaultCheckBoundMs;
};

enum class FetchStatus {
    NotFetched,  // no connection, a refused or silent server, an HTTP error, the bound passed
    Unusable,    // something arrived, but too large to be the version file
    Read,        // the file arrived and the edition's keys were read
};

struct FetchResult {
    FetchStatus status = FetchStatus::NotFetched;
    ServerInfo info;        // what the file said (Read only)
    std::wstring filePath;  // where the file was put beside the program
    DWORD deleteError = 0;  // non-zero: the file could not be deleted (a system error code)
};

// The about box's outcome of a fetch.
Outcome OutcomeOf(const FetchResult& result, std::uint32_t libraryVersion);

// Downloads the file into a new file of its own beside the program, takes it
// in as exeFolder + "tools_version.ini", reads the edition's version and URL
// keys and deletes it again. Returns within request.boundMs, or as soon as
// the event `cancel` (may be null) is signalled, with NotFetched in both
// cases. Checks of the process take turns at "tools_version.ini" itself.
FetchResult FetchServerInfo(const FetchRequest& request, HANDLE cancel);

}  // namespace update
