// The run of boards, for one port and for a gang alike: boards are started
// on the ports' drivers as the run's rules (cli/GangRun.h) allow, each with
// the serial number the rules took for it; every board's outcome becomes a
// record (console line or JSON, and the CSV log); a summary ends the run.
// Ctrl+C stops every running board.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/BoardDriver.h"
#include "cli/BoardImage.h"
#include "cli/Files.h"
#include "cli/GangRun.h"
#include "cli/RunDisplay.h"
#include "cli/UnitOutbox.h"

namespace cli {

// The image every board gets, as the summary describes it, and what every
// board's record of the unit says besides its own outcome.
struct ImageSummary {
    std::uint32_t flashSize = 0;
    std::uint16_t flashChecksum = 0;
    std::uint32_t flashCrc = 0;
    const std::vector<std::uint8_t>* code = nullptr;  // the Flash image before its serial number
    SerialField serialField;
    // With serial numbers: the steps every board's image gets after its
    // number, on a Flash of codeCapacity bytes. Without: the values the
    // steps left in code, run once.
    std::vector<image::ChecksumStep> boardChecksums;
    std::uint32_t codeCapacity = 0;
    std::vector<std::string> checksums;
    std::string station, operatorName, project, projectSha256;
    UnitOutbox* unitOutbox = nullptr;  // every unit record also goes to the database (nullptr: none)
};

// Runs the boards on drivers (one per port, in the order of run's ports)
// until the rules say the run is done, and returns the exit code. A gang
// (several ports) writes each record with its port and ends with the table
// of its ports (or, with --json, one record per port). units: the record of
// every unit, when open.
// restart: a new driver for port i, for a lost port that --control's
// "retry" takes again (nullptr: none can be made).
using RestartPort = std::function<std::unique_ptr<BoardDriver>(std::size_t port)>;
int RunBoards(const Options& o, const ImageSummary& image, std::vector<std::unique_ptr<BoardDriver>>& drivers,
              GangRun& run, CsvLog& log, CsvLog& units, RunDisplay& display, const RestartPort& restart);

}  // namespace cli
