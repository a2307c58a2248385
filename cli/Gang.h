// A gang of ports: `program --port COM3,COM4,...` runs one worker process
// per port, since the library holds one link and one stop request per
// process. The parent builds the image once, hands out the serial numbers
// (GangRun.h), writes every record with its port and draws the table; a
// worker (Tarvel_CLI --worker ...) only programs the boards it is sent on its
// port and reports back (GangWire.h). The workers live in a job object that
// ends them when it is closed, also when the parent is killed or crashes,
// so that no worker keeps a port open behind it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/SerialNumber.h"

namespace cli {

// What the parent built once for every port.
struct GangImage {
    std::vector<std::uint8_t> code, data;
    std::vector<std::string> header;  // the lines printed before the first board (not with --json)
    std::uint16_t codeChecksum = 0;
    std::uint32_t codeCrc = 0;
};

// Runs the gang; args are the command's own arguments, passed on to every
// worker. Returns the exit code over the whole gang.
int RunGang(const Options& o, const std::vector<std::wstring>& args, const GangImage& image);

// The first arguments of a worker's command line: --worker PORT CODE DATA|-,
// then the gang's own arguments.
struct WorkerArguments {
    std::wstring port, codeFile, dataFile;  // dataFile empty: no EEPROM image
    std::vector<std::wstring> rest;
};
bool SplitWorkerArguments(const std::vector<std::wstring>& args, WorkerArguments* out);

// The image files the parent wrote; false when one cannot be read.
bool ReadGangImages(const WorkerArguments& w, std::vector<std::uint8_t>* code, std::vector<std::uint8_t>* data);

// One board as the worker's library ran it.
struct WorkerBoard {
    std::uint16_t code = 0;
    double librarySeconds = 0, waitSeconds = 0;
    bool portLost = false;
};
// Programs one board with these images; calls report with the status word
// now and then while the library works.
using ProgramBoard = std::function<WorkerBoard(std::vector<std::uint8_t>& code, std::vector<std::uint8_t>& data,
                                               const std::function<void(std::uint16_t)>& report)>;

// The worker's side, once its port is open: says "ready", then programs the
// boards the parent sends, each with its serial written in, until the parent
// closes the pipe. A lost port ends it after the board's result.
int ServeGang(const SerialField& field, const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& data,
              const ProgramBoard& program);

}  // namespace cli
