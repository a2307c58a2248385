// The driver that programs boards in a worker process of its own: a gang
// runs one per port, since the library holds one link and one stop request
// per process. The parent writes the image to a file once; each worker
// (Tarvel_CLI --worker PORT CODE DATA ...) opens its port, says "ready" and
// programs the boards it is sent (cli/GangWire.h). The workers live in a job
// object that ends them when it is closed, also when the parent is killed
// or crashes, so that no worker keeps a port open behind it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/BoardDriver.h"
#include "framework/Handles.h"

namespace cli {

// A file that lives as long as its owner: the image a gang's workers read.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();
    // Writes the bytes to a new temporary file; empty text or the reason.
    std::wstring Write(const std::vector<std::uint8_t>& bytes);
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// The job object that ends every worker when it is closed. Empty (invalid)
// with the system's error when it cannot be made.
UniqueHandle MakeWorkerJob();

class WorkerProcess final : public BoardDriver {
public:
    WorkerProcess() = default;
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // Starts the worker for port inside job, with the image files and the
    // program command line of the set-up (SetupArguments). False (GetLastError says why) when it could
    // not be started; Poll then tells it ended at once.
    bool Start(HANDLE job, const std::wstring& port, const std::wstring& codeFile, const std::wstring& dataFile,
               const std::vector<std::wstring>& args);

    void StartBoard(std::uint64_t board, const SerialValue* serial) override;
    void StopBoard() override;
    void Poll(std::vector<DriverEvent>* events) override;
    void Finish(unsigned waitMs) override;

private:
    void Send(const std::string& verb, const std::vector<std::pair<std::string, std::string>>& fields);
    void Drain(std::vector<DriverEvent>* events);

    UniqueHandle process_, toWorker_, fromWorker_;
    std::string pending_;  // what came from it up to the next line break
    bool alive_ = false;
    bool endTold_ = false;
    bool finished_ = false;
};

// The first arguments of a worker's command line: --worker PORT CODE DATA|-,
// then the program command line of the gang's set-up.
struct WorkerArguments {
    std::wstring port, codeFile, dataFile;  // dataFile empty: no EEPROM image
    std::vector<std::wstring> rest;
};
bool SplitWorkerArguments(const std::vector<std::wstring>& args, WorkerArguments* out);

}  // namespace cli
