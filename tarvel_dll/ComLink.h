// The link over a COM port handle opened by the tool. The library configures
// the port but never closes it: the handle belongs to the caller.
#pragma once

#include <windows.h>

#include "tarvel_dll/protocol/Host.h"

namespace tarvel {

class ComLink : public Link {
public:
    explicit ComLink(HANDLE port) : port_(port) {}

    // True when the handle is a serial port; sets 8N1 at rate, no flow
    // control, and clears both buffers.
    bool Configure(std::uint32_t rate);

    bool Write(const std::uint8_t* data, std::size_t size) override;
    std::size_t Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) override;
    bool SetRate(std::uint32_t rate) override;
    void Purge() override;

private:
    bool SetReadTimeout(std::uint32_t ms);

    HANDLE port_;
    std::uint32_t readTimeout_ = 0xFFFFFFFFu;
};

}  // namespace tarvel
