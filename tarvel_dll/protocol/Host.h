// The library's side of the programming protocol: one UpdateMCU or DumpInfo
// run over a byte link. Window-free; the link is a Win32 COM port in the DLL,
// the in-process simulated adapter, or a test double.
#pragma once

#include <cstddef>
#include <cstdint>

#include "isp/IspRecords.h"
#include "tarvel_dll/protocol/PartsTable.h"

namespace tarvel {

class Link {
public:
    virtual ~Link() = default;
    // Sends all bytes; false when the line failed.
    virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
    // Waits at most timeoutMs for up to size bytes and returns as soon as
    // size bytes have arrived. Returns the count (0 on timeout or failure).
    virtual std::size_t Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) = 0;
    // Switches the line to another rate.
    virtual bool SetRate(std::uint32_t rate) = 0;
    // Drops whatever was received and not read.
    virtual void Purge() = 0;
};

// A target needs a few milliseconds to answer even a sync, and a USB serial
// bridge holds received bytes for up to 16 ms before passing them on: neither
// the sync period nor the reply deadline goes below this, whatever is set.
constexpr std::uint32_t kMinSyncIntervalMs = 10;
constexpr std::uint32_t kMinReplyTimeoutMs = 10;

struct HostTiming {
    std::uint32_t SyncIntervalMs = 50;    // a sync is sent this often while waiting (kMinSyncIntervalMs and up)
    std::uint32_t ReplyTimeoutMs = 1000;  // deadline of a reply, beyond its line time (kMinReplyTimeoutMs and up)
    std::uint32_t EraseTimeoutMs = 5000;  // extra deadline of an erase
    int Attempts = 2;                     // sends of one command before giving up
    std::uint32_t PollMs = 20;            // longest wait between two looks at the stop request
};

struct HostJob {
    const isp::BodyInfo* Body = nullptr;  // the part the user selected
    PartTraits Traits{};
    std::int32_t CheckRate = 0;
    std::int32_t BaudRate = 0;  // 0 = choose
    std::uint8_t OptionBits = 0;
    std::uint8_t SetupFlags = 0;
    const std::uint8_t* Code = nullptr;
    std::size_t CodeSize = 0;
    const std::uint8_t* Data = nullptr;
    std::size_t DataSize = 0;
    isp::StatusWord* Status = nullptr;
    isp::StopRequest* Stop = nullptr;
    HostTiming Timing;
    // The status word while no target answers. 0xFFFF is what the tool
    // expects; the built-in adapter can be told to write another value, as
    // a library the tool does not know might.
    std::uint16_t WaitStatus = isp::kStatusWaitingForTarget;
};

struct HostStats {
    std::uint64_t BytesOut = 0;    // on the wire towards the target
    std::uint64_t BytesIn = 0;     // on the wire from the target
    std::uint64_t ImageBytes = 0;  // image bytes carried by program commands
    std::uint32_t Rate = 0;        // download rate used
    std::uint32_t Resends = 0;
};

// Largest data block of one program command.
constexpr std::size_t kProgramChunk = 1024;

// The rate "Auto" picks: the fastest standard rate the target supports.
std::uint32_t AutoRate(std::uint32_t targetMax);

// Runs one programming cycle; returns a result code of isp::Result.
std::uint16_t RunUpdate(Link& link, const HostJob& job, HostStats* stats = nullptr);
// Reads the information block into info (kInfoSize bytes).
std::uint16_t RunDump(Link& link, const HostJob& job, std::uint8_t* info, HostStats* stats = nullptr);

}  // namespace tarvel
