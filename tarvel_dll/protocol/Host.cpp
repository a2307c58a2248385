#include "tarvel_dll/protocol/Host.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "tarvel_dll/protocol/Crc.h"
#include "tarvel_dll/protocol/Frame.h"
#include "tarvel_dll/protocol/Protocol.h"

namespace tarvel {
namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t MsBetween(Clock::time_point a, Clock::time_point b) {
    if (b <= a) return 0;
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count());
}

enum class Outcome { Reply, Stopped, Timeout, LineError };

class Session {
public:
    Session(Link& link, const HostJob& job, HostStats* stats) : link_(link), job_(job), stats_(stats) {
        rate_ = static_cast<std::uint32_t>(job.CheckRate);
    }

    bool StopRequested() const { return job_.Stop->load(std::memory_order_acquire) == 1; }
    void SetStatus(std::uint16_t v) { job_.Status->store(v, std::memory_order_release); }

    // Line time of n bytes at the current rate, in ms (10 bits a byte).
    std::uint32_t WireMs(std::size_t n) const {
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(n) * 10000u) / std::max<std::uint32_t>(rate_, 1));
    }

    // Sends one frame in slices, so that a long frame at a slow rate still
    // lets the stop request through.
    Outcome Send(std::uint8_t type, const std::vector<std::uint8_t>& payload) {
        std::vector<std::uint8_t> bytes;
        EncodeFrame(type, seq_, payload.data(), payload.size(), bytes);
        const std::size_t slice = std::max<std::size_t>(64, rate_ / 10 * job_.Timing.PollMs / 1000);
        for (std::size_t at = 0; at < bytes.size(); at += slice) {
            if (StopRequested()) return Outcome::Stopped;
            const std::size_t n = std::min(slice, bytes.size() - at);
            if (!link_.Write(bytes.data() + at, n)) return Outcome::LineError;
            if (stats_ != nullptr) stats_->BytesOut += n;
        }
        return Outcome::Reply;
    }

    // Waits until the deadline for a frame accepted by match.
    template <typename Match>
    Outcome Await(Clock::time_point deadline, Frame& reply, Match match) {
        std::uint8_t buf[kMaxPayload + kFrameOverhead];
        for (;;) {
            Frame f;
            while (parser_.Next(f)) {
                if (match(f)) {
                    reply = std::move(f);
                    return Outcome::Reply;
                }
                // A late answer to an earlier command: not ours.
            }
            if (StopRequested()) return Outcome::Stopped;
            const Clock::time_point now = Clock::now();
            if (now >= deadline) return Outcome::Timeout;
            const std::uint32_t wait =
                std::max<std::uint32_t>(1, std::min(job_.Timing.PollMs, MsBetween(now, deadline)));
            const std::size_t want = std::min(parser_.BytesMissing(), sizeof buf);
            const std::size_t n = link_.Read(buf, want, wait);
            if (n > 0) {
                if (stats_ != nullptr) stats_->BytesIn += n;
                parser_.Feed(buf, n);
            }
        }
    }

    // One command with its reply; resends it with the same sequence number
    // when the reply does not come, so the target does not run it twice.
    Outcome Transact(std::uint8_t cmd, const std::vector<std::uint8_t>& payload, std::size_t replySize,
                     std::uint32_t extraMs, Frame& reply) {
        ++seq_;
        const std::uint8_t type = static_cast<std::uint8_t>(cmd | kReplyBit);
        const std::uint8_t seq = seq_;
        const std::uint32_t budget = std::max(kMinReplyTimeoutMs, job_.Timing.ReplyTimeoutMs) + extraMs +
                                     2 * WireMs(payload.size() + replySize + 2 * kFrameOverhead);
        for (int attempt = 0; attempt < std::max(1, job_.Timing.Attempts); ++attempt) {
            if (attempt > 0) {
                // Whatever half frame is still buffered after a full deadline
                // is junk (perhaps with a damaged length that would swallow
                // the next reply).
                parser_.Reset();
                if (stats_ != nullptr) ++stats_->Resends;
            }
            Outcome o = Send(cmd, payload);
            if (o != Outcome::Reply) return o;
            o = Await(Clock::now() + std::chrono::milliseconds(budget), reply,
                      [&](const Frame& f) { return f.Type == type && f.Seq == seq && !f.Payload.empty(); });
            if (o != Outcome::Timeout) return o;
        }
        return Outcome::Timeout;
    }

    std::vector<std::uint8_t> SyncPayload() const {
        std::vector<std::uint8_t> p;
        PutU32(p, rate_);
        return p;
    }

    // Waits, status word at the job's waiting value (0xFFFF), until a target
    // answers a sync. Returns kPass, kStop, or kSetSyncError when the target
    // refuses to lock.
    std::uint16_t WaitForTarget() {
        SetStatus(job_.WaitStatus);
        // At a slow check rate the syncs must not pile up in the target.
        const std::uint32_t interval =
            std::max({kMinSyncIntervalMs, job_.Timing.SyncIntervalMs, 3 * WireMs(2 * kFrameOverhead + 5)});
        int refusals = 0;
        for (;;) {
            ++seq_;
            const Outcome sent = Send(kCmdSync, SyncPayload());
            if (sent == Outcome::Stopped) return isp::kStop;
            if (sent == Outcome::LineError) return isp::kNotFindDevice;
            Frame reply;
            const std::uint8_t type = kCmdSync | kReplyBit;
            // Any sync reply proves a target, including a late one.
            const Outcome o = Await(Clock::now() + std::chrono::milliseconds(interval), reply,
                                    [&](const Frame& f) { return f.Type == type && !f.Payload.empty(); });
            if (o == Outcome::Stopped) return isp::kStop;
            if (o == Outcome::Reply) {
                if (reply.Payload[0] == kOk) return isp::kPass;
                if (++refusals >= 3) return isp::kSetSyncError;
            }
        }
    }

    // Identify and check the ids. Returns kPass or the failure code.
    std::uint16_t Identify(std::uint32_t& maxBaud) {
        Frame r;
        const Outcome o = Transact(kCmdIdentify, {}, 19, 0, r);
        if (o == Outcome::Stopped) return isp::kStop;
        if (o != Outcome::Reply) return isp::kNotFindDevice;
        if (r.Payload[0] != kOk || r.Payload.size() < 19) return isp::kSetSyncError;
        if (GetU32(&r.Payload[1]) != kCustomerId) return isp::kCustomerIdError;
        if (GetU32(&r.Payload[5]) != job_.Traits.DeviceId) return isp::kDeviceIdError;
        maxBaud = GetU32(&r.Payload[13]);
        return isp::kPass;
    }

    std::uint16_t ChangeRate(std::uint32_t rate) {
        if (rate == rate_) return isp::kPass;
        std::vector<std::uint8_t> p;
        PutU32(p, rate);
        Frame r;
        Outcome o = Transact(kCmdSetRate, p, 1, 0, r);
        if (o == Outcome::Stopped) return isp::kStop;
        if (o != Outcome::Reply) return isp::kNotFindDevice;
        if (r.Payload[0] == kErrRate) return isp::kBaudRateTooLarge;
        if (r.Payload[0] != kOk) return isp::kSetSyncError;
        if (!link_.SetRate(rate)) return isp::kSetSyncError;
        rate_ = rate;
        link_.Purge();
        parser_.Reset();
        if (stats_ != nullptr) stats_->Rate = rate;
        // Both ends now run at the new rate: a sync proves it.
        o = Transact(kCmdSync, SyncPayload(), 2, 0, r);
        if (o == Outcome::Stopped) return isp::kStop;
        if (o != Outcome::Reply || r.Payload[0] != kOk) return isp::kSetSyncError;
        return isp::kPass;
    }

    // A command whose reply is only a status; maps a refusal to failCode.
    std::uint16_t Simple(std::uint8_t cmd, const std::vector<std::uint8_t>& payload, std::uint32_t extraMs,
                         std::uint16_t failCode) {
        Frame r;
        const Outcome o = Transact(cmd, payload, 1, extraMs, r);
        if (o == Outcome::Stopped) return isp::kStop;
        if (o != Outcome::Reply) return isp::kNotFindDevice;
        return r.Payload[0] == kOk ? static_cast<std::uint16_t>(isp::kPass) : failCode;
    }

    std::uint16_t Erase(std::uint8_t area, std::uint32_t length) {
        std::vector<std::uint8_t> p{area};
        PutU32(p, 0);
        PutU32(p, length);
        return Simple(kCmdErase, p, job_.Timing.EraseTimeoutMs, isp::kEraseError);
    }

    std::uint16_t Verify(std::uint8_t area, const std::uint8_t* image, std::size_t size) {
        std::vector<std::uint8_t> p{area};
        PutU32(p, 0);
        PutU32(p, static_cast<std::uint32_t>(size));
        Frame r;
        // The target reads the range before it answers: allow for it.
        const Outcome o = Transact(kCmdVerify, p, 5, static_cast<std::uint32_t>(size / 1024), r);
        if (o == Outcome::Stopped) return isp::kStop;
        if (o != Outcome::Reply) return isp::kNotFindDevice;
        if (r.Payload[0] != kOk || r.Payload.size() < 5) return isp::kProgramError;
        return GetU32(&r.Payload[1]) == Crc32(image, size) ? isp::kPass : isp::kProgramError;
    }

    Link& link_;
    const HostJob& job_;
    HostStats* stats_;
    FrameParser parser_;
    std::uint8_t seq_ = 0;
    std::uint32_t rate_ = 0;
};

// Erase length: the whole area, or with "erase by file size" the pages the
// image covers.
std::uint32_t EraseLength(std::size_t image, std::uint32_t capacity, std::uint32_t page, bool bySize) {
    if (!bySize || page == 0) return capacity;
    const std::uint64_t rounded = (static_cast<std::uint64_t>(image) + page - 1) / page * page;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(rounded, capacity));
}

}  // namespace

std::uint32_t AutoRate(std::uint32_t targetMax) {
    static const std::uint32_t kRates[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200};
    for (std::uint32_t r : kRates)
        if (r <= targetMax) return r;
    return 1200;
}

std::uint16_t RunUpdate(Link& link, const HostJob& job, HostStats* stats) {
    Session s(link, job, stats);
    std::uint16_t rc = s.WaitForTarget();
    if (rc != isp::kPass) return rc;
    s.SetStatus(0);

    std::uint32_t maxBaud = 0;
    if ((rc = s.Identify(maxBaud)) != isp::kPass) return rc;
    const std::uint32_t rate = job.BaudRate == 0 ? AutoRate(maxBaud) : static_cast<std::uint32_t>(job.BaudRate);
    if (job.BaudRate < 0 || rate > maxBaud) return isp::kBaudRateTooLarge;
    if ((rc = s.ChangeRate(rate)) != isp::kPass) return rc;
    if (stats != nullptr) stats->Rate = rate;

    const bool bySize = (job.SetupFlags & isp::kSetupEraseByFileSize) != 0;
    const std::uint32_t page = job.Traits.PageSize;
    rc = s.Erase(kAreaFlash, EraseLength(job.CodeSize, job.Body->CodeCapacity, page, bySize));
    if (rc == isp::kPass && job.DataSize > 0)
        rc = s.Erase(kAreaEeprom, EraseLength(job.DataSize, job.Body->DataCapacity, page, bySize));
    if (rc != isp::kPass) return rc;
    s.SetStatus(3);

    // Only the option bits the part has; the others stay erased (1).
    const std::uint32_t used = std::min<std::uint32_t>(job.Body->OptionCount, 8);
    const std::uint8_t mask = static_cast<std::uint8_t>(used >= 8 ? 0xFF : (1u << used) - 1);
    const std::uint8_t options = static_cast<std::uint8_t>((job.OptionBits & mask) | ~mask);
    if ((rc = s.Simple(kCmdWriteOptions, {options}, 0, isp::kWriteOrError)) != isp::kPass) return rc;
    std::vector<std::uint8_t> config{
        static_cast<std::uint8_t>(job.SetupFlags & (isp::kSetupEraseByFileSize | isp::kSetupRstnColdReset))};
    PutU32(config, static_cast<std::uint32_t>(job.CodeSize));
    PutU32(config, Crc32(job.Code, job.CodeSize));
    if ((rc = s.Simple(kCmdWriteConfig, config, 0, isp::kRegisterError)) != isp::kPass) return rc;
    s.SetStatus(5);

    // Programming takes the progress from 5 to 95.
    const std::uint64_t total = job.CodeSize + job.DataSize;
    std::uint64_t done = 0;
    const struct {
        std::uint8_t Area;
        const std::uint8_t* Image;
        std::size_t Size;
    } areas[] = {{kAreaFlash, job.Code, job.CodeSize}, {kAreaEeprom, job.Data, job.DataSize}};
    for (const auto& a : areas) {
        for (std::size_t off = 0; off < a.Size; off += kProgramChunk) {
            const std::size_t n = std::min(kProgramChunk, a.Size - off);
            std::vector<std::uint8_t> p{a.Area};
            PutU32(p, static_cast<std::uint32_t>(off));
            p.insert(p.end(), a.Image + off, a.Image + off + n);
            if ((rc = s.Simple(kCmdProgram, p, 0, isp::kProgramError)) != isp::kPass) return rc;
            if (stats != nullptr) stats->ImageBytes += n;
            done += n;
            s.SetStatus(static_cast<std::uint16_t>(5 + done * 90 / total));
        }
    }
    for (const auto& a : areas) {
        if (a.Size == 0) continue;
        if ((rc = s.Verify(a.Area, a.Image, a.Size)) != isp::kPass) return rc;
    }
    s.SetStatus(99);
    // Start the application. The chip is programmed and verified; a lost
    // reply to this last command does not undo that.
    rc = s.Simple(kCmdRun, {}, 0, isp::kPass);
    if (rc == isp::kStop) return rc;
    s.SetStatus(100);
    return isp::kPass;
}

std::uint16_t RunDump(Link& link, const HostJob& job, std::uint8_t* info, HostStats* stats) {
    Session s(link, job, stats);
    std::uint16_t rc = s.WaitForTarget();
    if (rc == isp::kSetSyncError) return isp::kDumpFail;
    if (rc != isp::kPass) return rc;
    std::uint32_t maxBaud = 0;
    rc = s.Identify(maxBaud);
    if (rc == isp::kSetSyncError) return isp::kDumpFail;
    if (rc != isp::kPass) return rc;
    // The adapter reads the block at the download rate too, so a rate the
    // bootloader does not take fails here as it does for programming.
    const std::uint32_t rate = job.BaudRate == 0 ? AutoRate(maxBaud) : static_cast<std::uint32_t>(job.BaudRate);
    if (job.BaudRate < 0 || rate > maxBaud) return isp::kBaudRateTooLarge;
    Frame r;
    const auto o = s.Transact(kCmdReadInfo, {}, 1 + kInfoSize, 0, r);
    if (o == decltype(o)::Stopped) return isp::kStop;
    if (o != decltype(o)::Reply) return isp::kNotFindDevice;
    if (r.Payload[0] != kOk || r.Payload.size() != 1 + kInfoSize) return isp::kDumpFail;
    // The block guards itself with a CRC-32 in its last four bytes.
    if (Crc32(&r.Payload[1], info::kCrc) != GetU32(&r.Payload[1 + info::kCrc])) return isp::kDumpFail;
    std::memcpy(info, &r.Payload[1], kInfoSize);
    return isp::kPass;
}

}  // namespace tarvel
