#include "tarvel_dll/protocol/SimulatedLink.h"

#include <thread>

namespace tarvel {

SimulatedLink::SimulatedLink(const Scenario& scenario, PartsView parts, int partIndex)
    : scenario_(scenario), epoch_(std::chrono::steady_clock::now()), target_(scenario, parts, partIndex, 0) {}

Micros SimulatedLink::Now() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - epoch_).count();
}

void SimulatedLink::FollowPart(int partIndex) {
    if (!scenario_.Part.empty() || partIndex == target_.PartIndex()) return;
    const std::uint32_t serial = target_.Serial();
    Scenario s = scenario_;
    s.Serial = serial;
    s.AppearMs = 0;  // the adapter's chip is already seated and powered
    target_.Reset(s, partIndex, Now());
}

bool SimulatedLink::Write(const std::uint8_t* data, std::size_t size) {
    target_.Receive(data, size, Now());
    return true;
}

std::size_t SimulatedLink::Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) {
    const Micros deadline = Now() + static_cast<Micros>(timeoutMs) * 1000;
    std::size_t n = 0;
    for (;;) {
        const Micros now = Now();
        n += target_.TakeOutput(buf + n, size - n, now);
        if (n == size || now >= deadline) return n;
        const Micros next = target_.NextOutputAt();
        const Micros until = next < 0 ? deadline : std::min(deadline, std::max(next, now + 1));
        // Wake for the next byte with a timer, not a spin. With pacing the
        // bytes of a frame are spread out: collect them in steps of 2 ms.
        std::this_thread::sleep_for(std::chrono::microseconds(std::max<Micros>(until - now, n > 0 ? 2000 : 0)));
    }
}

}  // namespace tarvel
