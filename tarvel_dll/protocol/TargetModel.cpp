#include "tarvel_dll/protocol/TargetModel.h"

#include <algorithm>
#include <cstring>

#include "tarvel_dll/protocol/Crc.h"
#include "tarvel_dll/protocol/Protocol.h"

namespace tarvel {

TargetModel::TargetModel(const Scenario& scenario, PartsView parts, int partIndex, Micros now) : parts_(parts) {
    Reset(scenario, partIndex, now);
}

void TargetModel::Reset(const Scenario& scenario, int partIndex, Micros now) {
    scenario_ = scenario;
    part_ = 0;
    const int named = scenario.Part.empty() ? -1 : FindPart(parts_, scenario.Part.c_str());
    if (named >= 0) {
        part_ = named;
    } else if (partIndex >= 0 && static_cast<std::uint32_t>(partIndex) < parts_.Count) {
        part_ = partIndex;
    }
    appearAt_ = scenario.AppearMs < 0 ? -1 : now + scenario.AppearMs * 1000;
    serial_ = scenario.Serial;
    totalRuns_ = 0;
    out_.clear();
    parser_.Reset();
    rxFreeAt_ = txFreeAt_ = now;
    silent_ = false;
    Blank();
}

void TargetModel::Blank() {
    const bool hasPart = parts_.Count > 0;
    const std::uint32_t code = hasPart ? parts_.Body[part_].CodeCapacity : 0;
    const std::uint32_t data = hasPart ? parts_.Body[part_].DataCapacity : 0;
    flash_.assign(code, 0xFF);
    eeprom_.assign(data, 0xFF);
    options_ = 0xFF;
    setup_ = 0;
    codeSize_ = codeCrc_ = 0;
    chipRuns_ = 0;
    synced_ = false;
    hasLast_ = false;
    pendingRate_ = 0;
}

bool TargetModel::Present(Micros now) const { return appearAt_ >= 0 && now >= appearAt_; }

std::uint32_t TargetModel::DeviceId() const {
    if (scenario_.DeviceId != 0) return scenario_.DeviceId;
    return parts_.Count > 0 ? parts_.Traits[part_].DeviceId : 0;
}

std::uint32_t TargetModel::MaxBaud() const {
    if (scenario_.MaxBaud != 0) return scenario_.MaxBaud;
    return parts_.Count > 0 ? parts_.Traits[part_].MaxBaud : 115200;
}

Micros TargetModel::ByteTime() const {
    // Start bit, eight data bits, stop bit.
    return scenario_.Pace && rate_ > 0 ? static_cast<Micros>(10000000LL / rate_) : 0;
}

std::vector<std::uint8_t>* TargetModel::AreaMemory(std::uint8_t area) {
    if (area == kAreaFlash) return &flash_;
    if (area == kAreaEeprom) return &eeprom_;
    return nullptr;
}

void TargetModel::Receive(const std::uint8_t* data, std::size_t size, Micros now) {
    if (!Present(now) || silent_) {
        // Unpowered (or hung): the bytes fall on deaf ears, and a partial
        // frame does not survive a power cycle.
        parser_.Reset();
        synced_ = false;
        return;
    }
    // A pause in the middle of a frame means the rest was lost: a receiver
    // that kept waiting would swallow the host's next command with it.
    if (now - lastRx_ > kRxGapReset) parser_.Reset();
    lastRx_ = now;
    const Micros byteTime = ByteTime();
    // The bytes occupy the line after whatever the host sent before.
    rxFreeAt_ = std::max(rxFreeAt_, now) + byteTime * static_cast<Micros>(size);
    parser_.Feed(data, size);
    Frame f;
    while (parser_.Next(f)) Handle(f, rxFreeAt_);
}

void TargetModel::Reply(std::uint8_t type, std::uint8_t seq, const std::vector<std::uint8_t>& payload, Micros readyAt) {
    Pending p;
    p.ReadyAt = std::max(readyAt, txFreeAt_);
    p.PerByte = ByteTime();
    EncodeFrame(type, seq, payload.data(), payload.size(), p.Bytes);
    p.Pos = 0;
    txFreeAt_ = p.ReadyAt + p.PerByte * static_cast<Micros>(p.Bytes.size());
    out_.push_back(std::move(p));
}

void TargetModel::Handle(const Frame& f, Micros arrived) {
    if (silent_) return;
    const std::uint8_t replyType = static_cast<std::uint8_t>(f.Type | kReplyBit);
    if (f.Type != kCmdSync && hasLast_ && f.Type == lastType_ && f.Seq == lastSeq_) {
        // The host lost our reply and asks again: answer without doing it twice.
        Reply(replyType, f.Seq, lastReply_, arrived);
        return;
    }
    const std::uint8_t* p = f.Payload.data();
    const std::size_t n = f.Payload.size();
    std::vector<std::uint8_t> r;
    r.push_back(kOk);
    Micros busy = 0;  // time the operation takes inside the chip
    bool leave = false;
    auto status = [&](TargetStatus s) { r[0] = s; };

    if (f.Type == kCmdSync) {
        if (n != 4) {
            status(kErrCommand);
        } else if (scenario_.Fail == FailPoint::Sync) {
            status(kErrSync);
        } else {
            // Autobaud: the bootloader locks on the rate the host sends at.
            const std::uint32_t rate = GetU32(p);
            if (rate >= 300) rate_ = rate;
            synced_ = true;
            r.push_back(kProtocolVersion);
        }
    } else if (!synced_) {
        status(kErrNotSynced);
    } else {
        switch (f.Type) {
        case kCmdIdentify:
            PutU32(r, scenario_.CustomerId != 0 ? scenario_.CustomerId : kCustomerId);
            PutU32(r, DeviceId());
            PutU32(r, serial_);
            PutU32(r, MaxBaud());
            PutU16(r, static_cast<std::uint16_t>(parts_.Count > 0 ? parts_.Traits[part_].PageSize : 256));
            break;
        case kCmdSetRate: {
            const std::uint32_t rate = n == 4 ? GetU32(p) : 0;
            if (n != 4) status(kErrCommand);
            else if (rate < 300 || rate > MaxBaud()) status(kErrRate);
            else pendingRate_ = rate;  // after the reply has gone out at the old rate
            break;
        }
        case kCmdErase: {
            std::vector<std::uint8_t>* mem = n == 9 ? AreaMemory(p[0]) : nullptr;
            if (mem == nullptr) {
                status(kErrCommand);
                break;
            }
            const std::uint64_t off = GetU32(p + 1), len = GetU32(p + 5);
            if (off + len > mem->size()) status(kErrRange);
            else if (scenario_.Fail == FailPoint::Erase) status(kErrErase);
            else
                std::fill(mem->begin() + static_cast<std::ptrdiff_t>(off),
                          mem->begin() + static_cast<std::ptrdiff_t>(off + len), 0xFF);
            busy = static_cast<Micros>(scenario_.EraseMs) * 1000;
            break;
        }
        case kCmdWriteOptions:
            if (n != 1) status(kErrCommand);
            else if (scenario_.Fail == FailPoint::Options) status(kErrOptions);
            else options_ = p[0];
            break;
        case kCmdWriteConfig:
            if (n != 9) status(kErrCommand);
            else if (scenario_.Fail == FailPoint::Config) status(kErrConfig);
            else {
                setup_ = p[0];
                codeSize_ = GetU32(p + 1);
                codeCrc_ = GetU32(p + 5);
            }
            break;
        case kCmdProgram: {
            std::vector<std::uint8_t>* mem = n >= 5 ? AreaMemory(p[0]) : nullptr;
            if (mem == nullptr) {
                status(kErrCommand);
                break;
            }
            const std::uint64_t off = GetU32(p + 1), len = n - 5;
            const bool flash = p[0] == kAreaFlash;
            const bool reaches = flash && off + len > scenario_.FailOffset;
            if (off + len > mem->size()) {
                status(kErrRange);
            } else if (scenario_.Fail == FailPoint::Silent && reaches) {
                silent_ = true;  // the chip hangs: no reply, now or later
                return;
            } else if (scenario_.Fail == FailPoint::Program && reaches) {
                status(kErrProgram);
            } else {
                // Flash cells can only go from 1 to 0 without an erase.
                for (std::uint64_t i = 0; i < len; ++i) (*mem)[off + i] &= p[5 + i];
                if (scenario_.Fail == FailPoint::Verify && flash && scenario_.FailOffset >= off &&
                    scenario_.FailOffset < off + len) {
                    (*mem)[scenario_.FailOffset] ^= 0x01;  // a weak cell
                }
                const std::uint32_t page = parts_.Count > 0 ? parts_.Traits[part_].PageSize : 256;
                const std::uint64_t pages = len == 0 ? 0 : (off + len - 1) / page - off / page + 1;
                busy = static_cast<Micros>(pages * scenario_.PageMs) * 1000;
            }
            break;
        }
        case kCmdVerify: {
            std::vector<std::uint8_t>* mem = n == 9 ? AreaMemory(p[0]) : nullptr;
            if (mem == nullptr) {
                status(kErrCommand);
                break;
            }
            const std::uint64_t off = GetU32(p + 1), len = GetU32(p + 5);
            if (off + len > mem->size()) status(kErrRange);
            else PutU32(r, Crc32(mem->data() + off, static_cast<std::size_t>(len)));
            break;
        }
        case kCmdReadInfo:
            if (scenario_.Fail == FailPoint::ReadInfo) {
                status(kErrRead);
            } else {
                r.resize(1 + kInfoSize);
                BuildInfo(r.data() + 1);
            }
            break;
        case kCmdRun:
            ++chipRuns_;
            ++totalRuns_;
            leave = true;
            break;
        default: status(kErrCommand); break;
        }
    }
    hasLast_ = f.Type != kCmdSync;
    lastType_ = f.Type;
    lastSeq_ = f.Seq;
    lastReply_ = r;
    Reply(replyType, f.Seq, r, arrived + busy);
    if (pendingRate_ != 0) {
        rate_ = pendingRate_;
        pendingRate_ = 0;
    }
    if (leave) {
        if (OnRun) OnRun(*this);
        // The programmed chip is taken out once its last reply is out, and
        // the next one is seated after the repeat delay.
        appearAt_ = txFreeAt_ + scenario_.RepeatDelayMs * 1000;
        ++serial_;
        Blank();
        parser_.Reset();
    }
}

std::size_t TargetModel::TakeOutput(std::uint8_t* buf, std::size_t size, Micros now) {
    std::size_t n = 0;
    while (n < size && !out_.empty()) {
        Pending& p = out_.front();
        while (n < size && p.Pos < p.Bytes.size() && p.ReadyAt + p.PerByte * static_cast<Micros>(p.Pos) <= now) {
            buf[n++] = p.Bytes[p.Pos++];
        }
        if (p.Pos < p.Bytes.size()) break;
        out_.pop_front();
    }
    return n;
}

Micros TargetModel::NextOutputAt() const {
    if (out_.empty()) return -1;
    const Pending& p = out_.front();
    return p.ReadyAt + p.PerByte * static_cast<Micros>(p.Pos);
}

void TargetModel::BuildInfo(std::uint8_t* out) const {
    std::memset(out, 0xFF, kInfoSize);
    std::memcpy(out + info::kMagic, "TVIB", 4);
    out[info::kVersion] = 1;
    out[info::kOptions] = options_;
    out[info::kSetup] = setup_;
    out[7] = 0;
    SetU32(out + info::kCustomer, scenario_.CustomerId != 0 ? scenario_.CustomerId : kCustomerId);
    SetU32(out + info::kDevice, DeviceId());
    SetU32(out + info::kSerial, serial_);
    SetU32(out + info::kFlashSize, static_cast<std::uint32_t>(flash_.size()));
    SetU32(out + info::kEepromSize, static_cast<std::uint32_t>(eeprom_.size()));
    SetU32(out + info::kFlashCrc, Crc32(flash_.data(), flash_.size()));
    SetU32(out + info::kEepromCrc, eeprom_.empty() ? 0 : Crc32(eeprom_.data(), eeprom_.size()));
    SetU32(out + info::kRuns, chipRuns_);
    SetU32(out + info::kCodeSize, codeSize_);
    SetU32(out + info::kCodeCrc, codeCrc_);
    std::memset(out + info::kName, 0, info::kNameSize);
    if (parts_.Count > 0) {
        const wchar_t* name = parts_.Body[part_].PartName;
        for (unsigned i = 0; i + 1 < info::kNameSize && name[i] != 0; ++i)
            out[info::kName + i] = static_cast<std::uint8_t>(name[i] < 0x80 ? name[i] : '?');
    }
    SetU32(out + info::kCrc, Crc32(out, info::kCrc));
}

}  // namespace tarvel
