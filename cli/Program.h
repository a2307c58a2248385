// `program`: the image built once, the run's records set up, then the run of
// boards (cli/BoardLoop.h) on one port in this process, or on a gang of COM
// ports with one worker process each; and the worker's own start.
#pragma once

#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/ProjectCommands.h"

namespace cli {

// project: the project of program --project, whose images the built ones must
// be; null without one.
int RunProgram(const Options& o, const ProjectRun* project);

// A gang's worker (Tarvel_CLI --worker PORT CODE DATA ...): one port, the
// images its parent wrote, boards as the parent sends them.
int RunGangWorker(const std::vector<std::wstring>& args);

}  // namespace cli
