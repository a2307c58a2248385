// The driver that programs boards in this process: the link to one port
// (COM port or KV707) opened through isp::PortLink, and each board an
// isp::LibraryCall on its worker thread, which Poll looks at, so that the
// caller's loop never waits for the library. A single port's program run uses it
// directly; a gang's worker process uses it for its one port.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "cli/BoardDriver.h"
#include "cli/BoardImage.h"
#include "cli/PartChoice.h"
#include "cli/SerialNumber.h"
#include "isp/IspRecords.h"
#include "isp/LibraryBinding.h"
#include "isp/LibraryCall.h"
#include "isp/PortLink.h"

namespace cli {

// What every board on the port is programmed with.
struct BoardSetup {
    std::int32_t partIndex = -1;
    LinkSettings link;
    std::uint8_t optionBits = 0;
    std::uint8_t setupFlags = 0;  // isp::kSetupEraseByFileSize | isp::kSetupRstnColdReset
    std::vector<std::uint8_t> code, data;
    SerialField serialField;
    // Run over each board's copy after its serial number (cli/BoardImage.h);
    // a run without serial numbers has them in code already.
    std::vector<image::ChecksumStep> checksums;
    std::uint32_t codeCapacity = 0;
};

class LocalBoard final : public BoardDriver {
public:
    LocalBoard(const isp::TarvelDll& library, BoardSetup setup);
    // Stops and waits for a running board, then closes the link (ClosePort
    // before the COM handle is closed).
    ~LocalBoard() override;
    LocalBoard(const LocalBoard&) = delete;
    LocalBoard& operator=(const LocalBoard&) = delete;

    // Opens the link. On failure says why and returns the exit code (5).
    int Open();

    // Reads the target's information block into block (DumpInfo) on this
    // thread, the observer watching; StopBoard stops it too.
    isp::CallResult Dump(std::vector<std::uint8_t>& block, isp::CallObserver& observer);

    void StartBoard(std::uint64_t board, const SerialValue* serial) override;
    void StopBoard() override;
    void Poll(std::vector<DriverEvent>* events) override;
    void Finish(unsigned) override {}

private:
    const isp::TarvelDll& library_;
    BoardSetup setup_;
    isp::StatusWord status_{isp::kStatusWaitingForTarget};
    isp::StopRequest stop_{0};
    isp::IspParam param_{};
    isp::PortLink link_;
    isp::LibraryCall call_;

    bool readyTold_ = false;
    bool busy_ = false;  // a board was started and its outcome not yet told
    std::uint16_t toldStatus_ = isp::kStatusWaitingForTarget;
    std::thread thread_;
    std::atomic<bool> ended_{false};  // set by the board thread once outcome_ is written
    BoardOutcome outcome_;
    double started_ = 0;
    std::vector<std::uint8_t> code_, data_;  // the running board's copies
};

}  // namespace cli
