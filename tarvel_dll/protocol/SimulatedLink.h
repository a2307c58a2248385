// A link whose far end is a TargetModel in the same process: the library's
// built-in adapter, and the test bench of the native tests. Reads sleep until
// the target's next byte is due, so nothing spins.
#pragma once

#include <chrono>
#include <cstdint>

#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/TargetModel.h"

namespace tarvel {

class SimulatedLink : public Link {
public:
    SimulatedLink(const Scenario& scenario, PartsView parts, int partIndex);

    bool Write(const std::uint8_t* data, std::size_t size) override;
    std::size_t Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) override;
    bool SetRate(std::uint32_t) override { return true; }
    void Purge() override {}

    // Re-seats a chip of another part when the host now expects another one
    // and the scenario does not fix the part.
    void FollowPart(int partIndex);

    TargetModel& Target() { return target_; }
    Micros Now() const;

private:
    Scenario scenario_;
    std::chrono::steady_clock::time_point epoch_;
    TargetModel target_;
};

}  // namespace tarvel
