// The simulated microcontroller: its bootloader's side of the protocol, its
// Flash, EEPROM and registers, and its power. Window-free and clock-free:
// the caller passes the time (microseconds of a steady clock) with every
// call, so the model runs the same in the native simulator, in the library's
// built-in adapter and in tests.
//
// Timing: with pacing on, a frame takes 10 bit times per byte on the line in
// each direction at the current rate (half duplex: the reply starts after
// the command has fully arrived and the operation is done). Bytes the host
// writes arrive at once on a virtual line, so the model accounts their line
// time itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "tarvel_dll/protocol/Frame.h"
#include "tarvel_dll/protocol/PartsTable.h"
#include "tarvel_dll/protocol/Scenario.h"

namespace tarvel {

using Micros = std::int64_t;

class TargetModel {
public:
    // partIndex selects the shape of the chip when the scenario names no
    // part (or an unknown one); an invalid index falls back to part 0.
    TargetModel(const Scenario& scenario, PartsView parts, int partIndex, Micros now);

    // Bytes from the host. While no target is powered they are lost.
    void Receive(const std::uint8_t* data, std::size_t size, Micros now);
    // Moves reply bytes whose time has come into buf; returns their count.
    std::size_t TakeOutput(std::uint8_t* buf, std::size_t size, Micros now);
    // When the next reply byte is due, or -1 when nothing is queued.
    Micros NextOutputAt() const;

    bool Present(Micros now) const;

    // Applies a new scenario: the chip is re-seated (blank memories, powered
    // after AppearMs from now), the serial number restarts.
    void Reset(const Scenario& scenario, int partIndex, Micros now);

    int PartIndex() const { return part_; }
    const std::vector<std::uint8_t>& Flash() const { return flash_; }
    const std::vector<std::uint8_t>& Eeprom() const { return eeprom_; }
    std::uint32_t Serial() const { return serial_; }
    std::uint32_t CompletedRuns() const { return totalRuns_; }
    void BuildInfo(std::uint8_t* out) const;  // kInfoSize bytes

    // Called when a programmed target leaves the bootloader (kCmdRun), before
    // it is swapped for the next one.
    std::function<void(const TargetModel&)> OnRun;

private:
    void Handle(const Frame& f, Micros arrived);
    void Reply(std::uint8_t type, std::uint8_t seq, const std::vector<std::uint8_t>& payload, Micros readyAt);
    void Blank();
    Micros ByteTime() const;  // microseconds per byte on the line, 0 without pacing
    std::vector<std::uint8_t>* AreaMemory(std::uint8_t area);
    std::uint32_t DeviceId() const;
    std::uint32_t MaxBaud() const;

    struct Pending {
        Micros ReadyAt;  // time of the first byte
        Micros PerByte;  // spacing of the following ones
        std::vector<std::uint8_t> Bytes;
        std::size_t Pos;
    };

    Scenario scenario_;
    PartsView parts_;
    int part_ = 0;
    FrameParser parser_;
    std::deque<Pending> out_;
    Micros appearAt_ = 0;
    static constexpr Micros kRxGapReset = 100000;  // silence that ends a partial frame
    Micros lastRx_ = 0;
    Micros rxFreeAt_ = 0;  // end of the last command's line time
    Micros txFreeAt_ = 0;  // end of the last reply's line time
    bool synced_ = false;
    bool silent_ = false;
    std::uint32_t rate_ = 9600;
    std::uint32_t pendingRate_ = 0;
    bool hasLast_ = false;
    std::uint8_t lastType_ = 0, lastSeq_ = 0;
    std::vector<std::uint8_t> lastReply_;

    std::vector<std::uint8_t> flash_, eeprom_;
    std::uint32_t serial_ = 1;
    std::uint8_t options_ = 0xFF;
    std::uint8_t setup_ = 0;
    std::uint32_t codeSize_ = 0, codeCrc_ = 0;
    std::uint32_t chipRuns_ = 0;
    std::uint32_t totalRuns_ = 0;
};

}  // namespace tarvel
