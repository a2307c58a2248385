// The library's side of the protocol against the simulated target, in one
// process: every result code from a real cause, progress, stop, resends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "tarvel_dll/protocol/Crc.h"
#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/Protocol.h"
#include "tarvel_dll/protocol/SimulatedLink.h"

namespace tarvel {
namespace {

const PartsView kParts = Parts(TableVariant::Normal);

int PartNamed(const char* name) {
    const int i = FindPart(kParts, name);
    EXPECT_GE(i, 0) << name;
    return i;
}

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>((i * 131u + seed * 17u) >> 3);
    return v;
}

// Wraps a link: records the status word at every write, and can corrupt
// bytes in either direction.
class Tap : public Link {
public:
    Tap(Link& inner, const isp::StatusWord& status) : inner_(inner), status_(status) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        statuses.push_back(status_.load());
        std::vector<std::uint8_t> copy(data, data + size);
        if (corruptOut) corruptOut(copy);
        return inner_.Write(copy.data(), copy.size());
    }
    std::size_t Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) override {
        const std::size_t n = inner_.Read(buf, size, timeoutMs);
        if (corruptIn) corruptIn(buf, n);
        return n;
    }
    bool SetRate(std::uint32_t rate) override {
        rates.push_back(rate);
        return inner_.SetRate(rate);
    }
    void Purge() override { inner_.Purge(); }

    std::vector<std::uint16_t> statuses;
    std::vector<std::uint32_t> rates;
    std::function<void(std::vector<std::uint8_t>&)> corruptOut;
    std::function<void(std::uint8_t*, std::size_t)> corruptIn;

private:
    Link& inner_;
    const isp::StatusWord& status_;
};

struct Bench {
    explicit Bench(const char* part, Scenario scenario = {}) : index(PartNamed(part)) {
        link = std::make_unique<SimulatedLink>(scenario, kParts, index);
        job.Body = &kParts.Body[index];
        job.Traits = kParts.Traits[index];
        job.CheckRate = 9600;
        job.BaudRate = 0;
        job.Status = &status;
        job.Stop = &stop;
        job.Timing.ReplyTimeoutMs = 200;
        job.Timing.SyncIntervalMs = 20;
        code = Pattern(job.Body->CodeCapacity / 2 + 100, 1);
        data = Pattern(job.Body->DataCapacity, 2);
        job.Code = code.data();
        job.CodeSize = code.size();
        job.Data = data.data();
        job.DataSize = data.size();
    }
    std::uint16_t Update(Link* via = nullptr) {
        status = isp::kStatusWaitingForTarget;
        stop = 0;
        return RunUpdate(via != nullptr ? *via : *link, job, &stats);
    }
    std::uint16_t Dump(std::uint8_t* info) {
        status = isp::kStatusWaitingForTarget;
        stop = 0;
        return RunDump(*link, job, info, &stats);
    }

    int index;
    std::unique_ptr<SimulatedLink> link;
    HostJob job;
    HostStats stats;
    isp::StatusWord status{isp::kStatusWaitingForTarget};
    isp::StopRequest stop{0};
    std::vector<std::uint8_t> code, data, flashSeen, eepromSeen;
};

TEST(HostTarget, ProgramsFlashAndEepromByteForByte) {
    Bench b("T30C64");
    b.job.OptionBits = 0x05;
    b.job.SetupFlags = 0x02;
    b.link->Target().OnRun = [&](const TargetModel& t) {
        b.flashSeen = t.Flash();
        b.eepromSeen = t.Eeprom();
    };
    ASSERT_EQ(b.Update(), isp::kPass);
    ASSERT_EQ(b.flashSeen.size(), b.job.Body->CodeCapacity);
    EXPECT_TRUE(std::equal(b.code.begin(), b.code.end(), b.flashSeen.begin()));
    // Beyond the image the Flash stays erased.
    for (std::size_t i = b.code.size(); i < b.flashSeen.size(); ++i) ASSERT_EQ(b.flashSeen[i], 0xFF) << i;
    EXPECT_EQ(b.eepromSeen, b.data);
    EXPECT_EQ(b.status.load(), 100);
    EXPECT_EQ(b.stats.ImageBytes, b.code.size() + b.data.size());
}

// While no target answers, the status word holds the job's waiting value:
// 0xFFFF, or whatever the adapter's scenario asks for.
TEST(HostTarget, StatusWaitsThenRisesToHundred) {
    for (std::uint16_t waiting : {isp::kStatusWaitingForTarget, std::uint16_t{102}}) {
        SCOPED_TRACE(waiting);
        Scenario s;
        s.AppearMs = 150;
        Bench b("T20G8", s);
        b.job.WaitStatus = waiting;
        Tap tap(*b.link, b.status);
        ASSERT_EQ(b.Update(&tap), isp::kPass);
        ASSERT_GE(tap.statuses.size(), 3u);
        EXPECT_EQ(tap.statuses.front(), waiting);
        EXPECT_GE(std::count(tap.statuses.begin(), tap.statuses.end(), waiting), 3)
            << "a sync is repeated while the target is away";
        std::size_t firstProgress = 0;
        while (tap.statuses[firstProgress] == waiting) ++firstProgress;
        for (std::size_t i = firstProgress; i < tap.statuses.size(); ++i) {
            ASSERT_LE(tap.statuses[i], 100) << i;
            if (i > firstProgress) {
                ASSERT_GE(tap.statuses[i], tap.statuses[i - 1]) << "progress went down at " << i;
            }
        }
        EXPECT_EQ(b.status.load(), 100);
    }
}

// Each failure of the target maps to its own result code.
TEST(HostTarget, EveryResultCodeHasARealCause) {
    struct Case {
        const char* Name;
        std::function<void(Scenario&, HostJob&)> Setup;
        bool Dump;
        std::uint16_t Expected;
    };
    const Case cases[] = {
        {"pass", [](Scenario&, HostJob&) {}, false, isp::kPass},
        {"other customer", [](Scenario& s, HostJob&) { s.CustomerId = 0x12345678; }, false, isp::kCustomerIdError},
        {"other device", [](Scenario& s, HostJob&) { s.Part = "T30C128"; }, false, isp::kDeviceIdError},
        {"rate above target",
         [](Scenario& s, HostJob& j) {
             s.MaxBaud = 38400;
             j.BaudRate = 57600;
         },
         false, isp::kBaudRateTooLarge},
        {"sync refused", [](Scenario& s, HostJob&) { s.Fail = FailPoint::Sync; }, false, isp::kSetSyncError},
        {"option write", [](Scenario& s, HostJob&) { s.Fail = FailPoint::Options; }, false, isp::kWriteOrError},
        {"erase", [](Scenario& s, HostJob&) { s.Fail = FailPoint::Erase; }, false, isp::kEraseError},
        {"register", [](Scenario& s, HostJob&) { s.Fail = FailPoint::Config; }, false, isp::kRegisterError},
        {"program",
         [](Scenario& s, HostJob&) {
             s.Fail = FailPoint::Program;
             s.FailOffset = 5000;
         },
         false, isp::kProgramError},
        {"verify",
         [](Scenario& s, HostJob&) {
             s.Fail = FailPoint::Verify;
             s.FailOffset = 777;
         },
         false, isp::kProgramError},
        {"silent",
         [](Scenario& s, HostJob&) {
             s.Fail = FailPoint::Silent;
             s.FailOffset = 3000;
         },
         false, isp::kNotFindDevice},
        {"dump pass", [](Scenario&, HostJob&) {}, true, isp::kPass},
        {"dump other customer", [](Scenario& s, HostJob&) { s.CustomerId = 1; }, true, isp::kCustomerIdError},
        {"dump other device", [](Scenario& s, HostJob&) { s.DeviceId = 2; }, true, isp::kDeviceIdError},
        {"dump read fails", [](Scenario& s, HostJob&) { s.Fail = FailPoint::ReadInfo; }, true, isp::kDumpFail},
        {"dump sync refused", [](Scenario& s, HostJob&) { s.Fail = FailPoint::Sync; }, true, isp::kDumpFail},
    };
    for (const Case& c : cases) {
        Scenario s;
        HostJob j;
        j.BaudRate = 0;
        c.Setup(s, j);
        Bench b("T30C64", s);
        b.job.BaudRate = j.BaudRate;
        std::uint8_t info[kInfoSize] = {};
        const std::uint16_t rc = c.Dump ? b.Dump(info) : b.Update();
        EXPECT_EQ(rc, c.Expected) << c.Name;
    }
}

TEST(HostTarget, AutoRatePicksTheFastestTheTargetTakes) {
    Scenario s;
    s.MaxBaud = 40000;
    Bench b("T30C64", s);
    Tap tap(*b.link, b.status);
    ASSERT_EQ(b.Update(&tap), isp::kPass);
    EXPECT_EQ(tap.rates, std::vector<std::uint32_t>{38400});
    EXPECT_EQ(AutoRate(115200), 115200u);
    EXPECT_EQ(AutoRate(1000), 1200u);
}

// "Erase by file size" erases the pages the image covers, else the whole area.
TEST(HostTarget, EraseLengthFollowsTheSetupFlag) {
    for (std::uint8_t flags : {0, 1}) {
        Bench b("T20G8");  // 64-byte pages, 8 KiB Flash, 256 bytes EEPROM
        std::vector<std::uint8_t> code(100, 0x5A), data(10, 0x11);
        b.job.Code = code.data();
        b.job.CodeSize = code.size();
        b.job.Data = data.data();
        b.job.DataSize = data.size();
        b.job.SetupFlags = flags;
        Tap tap(*b.link, b.status);
        FrameParser sent;
        std::vector<std::pair<int, std::uint32_t>> erases;
        tap.corruptOut = [&](std::vector<std::uint8_t>& bytes) {
            sent.Feed(bytes.data(), bytes.size());
            Frame f;
            while (sent.Next(f))
                if (f.Type == kCmdErase) erases.emplace_back(f.Payload[0], GetU32(&f.Payload[5]));
        };
        ASSERT_EQ(b.Update(&tap), isp::kPass);
        const std::vector<std::pair<int, std::uint32_t>> expected =
            flags ? std::vector<std::pair<int, std::uint32_t>>{{kAreaFlash, 128}, {kAreaEeprom, 64}}
                  : std::vector<std::pair<int, std::uint32_t>>{{kAreaFlash, 8192}, {kAreaEeprom, 256}};
        EXPECT_EQ(erases, expected) << "flags " << int(flags);
    }
}

TEST(HostTarget, DumpReturnsTheTargetsBlockAndRepeatSeesANewChip) {
    Scenario s;
    s.Serial = 4000;
    s.RepeatDelayMs = 100;
    Bench b("HX2560", s);
    b.job.CheckRate = 115200;
    b.job.BaudRate = 115200;
    b.job.OptionBits = 0x81;
    std::uint8_t before[kInfoSize];
    ASSERT_EQ(b.Dump(before), isp::kPass);
    EXPECT_EQ(std::memcmp(before, "TVIB", 4), 0);
    EXPECT_EQ(GetU32(before + info::kSerial), 4000u);
    EXPECT_EQ(GetU32(before + info::kDevice), b.job.Traits.DeviceId);
    EXPECT_EQ(Crc32(before, info::kCrc), GetU32(before + info::kCrc));

    std::vector<std::uint8_t> flash;
    b.link->Target().OnRun = [&](const TargetModel& t) {
        std::uint8_t info[kInfoSize];
        t.BuildInfo(info);
        flash = t.Flash();
        EXPECT_EQ(info[info::kOptions], 0x81);
        EXPECT_EQ(GetU32(info + info::kFlashCrc), Crc32(flash.data(), flash.size()));
    };
    ASSERT_EQ(b.Update(), isp::kPass);
    ASSERT_FALSE(flash.empty());

    // The programmed chip is gone; the next one comes after the delay with
    // the next serial number, and the library waits for it.
    Tap tap(*b.link, b.status);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(b.Update(&tap), isp::kPass);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
    EXPECT_EQ(tap.statuses.front(), isp::kStatusWaitingForTarget);
    std::uint8_t after[kInfoSize];
    ASSERT_EQ(b.Dump(after), isp::kPass);
    EXPECT_EQ(GetU32(after + info::kSerial), 4002u);
}

// Lost and damaged frames in either direction are resent; the result and
// the memories are still right.
TEST(HostTarget, ResendsAfterDamagedFrames) {
    Bench b("T10B2M16");
    b.job.Timing.Attempts = 3;
    b.link->Target().OnRun = [&](const TargetModel& t) { b.flashSeen = t.Flash(); };
    Tap tap(*b.link, b.status);
    int frames = 0, reads = 0;
    tap.corruptOut = [&](std::vector<std::uint8_t>& bytes) {
        // Long frames go out in slices: damage one frame in seven, once.
        if (bytes[0] == kFrameStart && ++frames % 7 == 3) bytes[bytes.size() / 2] ^= 0x10;
    };
    tap.corruptIn = [&](std::uint8_t* buf, std::size_t n) {
        if (n > 0 && ++reads % 11 == 5) buf[n - 1] ^= 0x40;
    };
    ASSERT_EQ(b.Update(&tap), isp::kPass);
    EXPECT_GT(b.stats.Resends, 0u);
    EXPECT_TRUE(std::equal(b.code.begin(), b.code.end(), b.flashSeen.begin()));
}

// Stop is answered with 103 while waiting for a target that never comes and
// in the middle of programming.
TEST(HostTarget, StopWhileWaitingAndWhileProgramming) {
    for (bool waiting : {true, false}) {
        Scenario s;
        if (waiting) s.AppearMs = -1;
        s.PageMs = 2;  // long enough to catch it programming
        Bench b("T40F512", s);
        std::thread stopper([&] {
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (std::chrono::steady_clock::now() < limit) {
                const std::uint16_t v = b.status.load();
                if ((waiting && v == isp::kStatusWaitingForTarget) || (!waiting && v >= 20 && v <= 90)) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            b.stop = 1;
        });
        EXPECT_EQ(b.Update(), isp::kStop) << (waiting ? "waiting" : "programming");
        stopper.join();
        if (!waiting) {
            EXPECT_LT(b.status.load(), 100);
        }
    }
}

// A link that never answers: the library keeps waiting (status 0xFFFF) and
// still stops; a target that answers the sync and then goes quiet is "not
// found" once its deadline passes.
TEST(HostTarget, DeadlinesOnASilentLine) {
    Scenario s;
    s.Fail = FailPoint::Silent;
    s.FailOffset = 0;
    Bench b("T30C64", s);
    b.job.Timing.Attempts = 2;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(b.Update(), isp::kNotFindDevice);
    const auto took = std::chrono::steady_clock::now() - t0;
    // Two sends of the program command, each with its deadline.
    EXPECT_GE(took, std::chrono::milliseconds(2 * b.job.Timing.ReplyTimeoutMs));
    EXPECT_LT(took, std::chrono::seconds(10));
}

// A far end that answers a few milliseconds after each command. A read whose
// wait reaches the answer gets it at once; a shorter read waits out its time
// and gets nothing. What the host gets therefore depends only on how long it
// is prepared to wait, not on how busy the machine is.
class LateAnswers : public Link {
public:
    LateAnswers(Link& inner, std::chrono::milliseconds delay) : inner_(inner), delay_(delay) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        due_ = std::chrono::steady_clock::now() + delay_;
        return inner_.Write(data, size);
    }
    std::size_t Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) override {
        const auto now = std::chrono::steady_clock::now();
        if (now + std::chrono::milliseconds(timeoutMs) >= due_) return inner_.Read(buf, size, timeoutMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return 0;
    }
    bool SetRate(std::uint32_t rate) override { return inner_.SetRate(rate); }
    void Purge() override { inner_.Purge(); }

private:
    Link& inner_;
    std::chrono::milliseconds delay_;
    std::chrono::steady_clock::time_point due_{};
};

// A reply deadline or sync period of 0 ms would give up on a target before
// it could answer; both have a floor of 10 ms.
TEST(HostTarget, ReplyDeadlineAndSyncPeriodHaveAFloor) {
    const struct {
        const char* Name;
        std::uint32_t SyncIntervalMs, ReplyTimeoutMs;
    } cases[] = {{"reply deadline 0", 20, 0}, {"sync period 0", 0, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Bench b("T30C64");  // takes 115200 bit/s
        std::vector<std::uint8_t> code(200, 0x5A);
        b.job.Code = code.data();
        b.job.CodeSize = code.size();
        b.job.Data = nullptr;
        b.job.DataSize = 0;
        b.job.CheckRate = 115200;  // the line time adds next to nothing to a deadline
        b.job.BaudRate = 115200;
        b.job.Timing.SyncIntervalMs = c.SyncIntervalMs;
        b.job.Timing.ReplyTimeoutMs = c.ReplyTimeoutMs;
        b.job.Timing.EraseTimeoutMs = 0;
        b.job.Timing.Attempts = 1;
        LateAnswers line(*b.link, std::chrono::milliseconds(7));
        // A host that never waits long enough for a sync would sync forever:
        // stop it then.
        std::atomic<bool> done{false};
        std::thread watchdog([&] {
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!done && std::chrono::steady_clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            b.stop = 1;
        });
        EXPECT_EQ(b.Update(&line), isp::kPass);
        done = true;
        watchdog.join();
    }
}

TEST(Scenario, OptionsAreCheckedByName) {
    Scenario s;
    std::string err;
    EXPECT_TRUE(SetScenarioOption(s, "fail", "register", &err));
    EXPECT_EQ(s.Fail, FailPoint::Config);
    EXPECT_TRUE(SetScenarioOption(s, "device-id", "0x30C00128", &err));
    EXPECT_EQ(s.DeviceId, 0x30C00128u);
    EXPECT_TRUE(SetScenarioOption(s, "never", "", &err));
    EXPECT_EQ(s.AppearMs, -1);
    EXPECT_FALSE(SetScenarioOption(s, "fail", "sometimes", &err));
    EXPECT_FALSE(SetScenarioOption(s, "page-ms", "12x", &err));
    EXPECT_FALSE(SetScenarioOption(s, "page-ms", "-1", &err));
    EXPECT_FALSE(SetScenarioOption(s, "colour", "1", &err));
    EXPECT_NE(err.find("colour"), std::string::npos);
}

}  // namespace
}  // namespace tarvel
