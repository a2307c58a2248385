// Projects in the console: `project new` saves the set-up the options of
// program describe, `project show` prints a project and checks its files,
// and `image --project` and `program --project` open one, check it and run
// its set-up (cli/ProjectOptions.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "project/Project.h"

namespace cli {

int RunProjectNew(const Options& o);
int RunProjectShow(const Options& o);

// What a project run checks the images it builds against.
struct ProjectRun {
    std::wstring fileName;  // the project file's name, for messages ("line1.tarvel")
    std::wstring name;      // the project's name, for the unit records
    std::string sha256;     // of the project file
    project::ImageCheck flash, eeprom;
    bool hasEeprom = false;
};

// Opens the project o names, takes it into *merged and checks that each of
// its firmware files holds what it held when the project was saved. kExitOk,
// or the exit code of a failure already reported: 3 for a project that
// cannot be read or a file that changed or is missing, 2 for a usage error.
int OpenProjectRun(const Options& o, Options* merged, ProjectRun* run);

// Whether the images built from the project's files are the ones it was
// saved with; kExitOk or kExitFile, reported.
int CheckProjectImages(const ProjectRun& run, const std::vector<std::uint8_t>& flash,
                       const std::vector<std::uint8_t>& eeprom);

}  // namespace cli
