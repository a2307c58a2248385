// The simulator program on a pseudo-terminal, driven by the library's side
// of the protocol: what it writes to its output folder is what was
// programmed, its control file switches scenarios, and pacing costs line time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tarvel_dll/protocol/Host.h"
#include "tarvel_dll/protocol/Protocol.h"

namespace tarvel {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PtyLink : public Link {
public:
    explicit PtyLink(int fd) : fd_(fd) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = write(fd_, data, size);
            if (n < 0) {
                if (errno != EAGAIN) return false;
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, 100);
                continue;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    std::size_t Read(std::uint8_t* buf, std::size_t size, std::uint32_t timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::size_t got = 0;
        while (got < size) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
            const ssize_t n = read(fd_, buf + got, size - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }
    bool SetRate(std::uint32_t) override { return true; }
    void Purge() override { tcflush(fd_, TCIFLUSH); }

private:
    int fd_;
};

// One simulator process on a fresh pty pair, ended with the fixture.
class Simulator : public ::testing::Test {
protected:
    // A new pty pair; the simulator's end is named by `name`.
    void OpenPair(char (&name)[256]) {
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        termios tio{};
        tcgetattr(master_, &tio);
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        // The simulator must not hold our ends: closing them is its hangup.
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
        link_ = std::make_unique<PtyLink>(master_);
    }

    // Closes our ends of the pair, as a socat that ends does: the
    // simulator's end hangs up. Like socat, it removes its link too, so that
    // the simulator is not led to a pair another test opens next under the
    // same pts number.
    void ClosePair() {
        link_.reset();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        master_ = slave_ = -1;
        if (!dir_.empty()) unlink((dir_ + "/port").c_str());
    }

    // viaLink: the simulator is given a symbolic link to its end (as socat's
    // link= gives one), which RePair points at a new pair.
    void Start(std::vector<std::string> options, bool viaLink = false) {
        char name[256] = {};
        OpenPair(name);
        char tmpl[] = "/tmp/tarvel-sim-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        control_ = dir_ + "/control.txt";
        std::string port = name;
        if (viaLink) {
            port = dir_ + "/port";
            ASSERT_EQ(symlink(name, port.c_str()), 0);
        }
        std::vector<std::string> args{TARVEL_TARGET_SIM, "--port", port, "--out-dir", dir_, "--control", control_};
        args.insert(args.end(), options.begin(), options.end());
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    // A new pair behind the simulator's link, swapped in atomically.
    void RePair() {
        char name[256] = {};
        OpenPair(name);
        const std::string tmp = dir_ + "/port.new";
        ASSERT_EQ(symlink(name, tmp.c_str()), 0);
        ASSERT_EQ(std::rename(tmp.c_str(), (dir_ + "/port").c_str()), 0);
    }

    // User plus system CPU time of the simulator so far, in seconds.
    double CpuSeconds() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Fields after the command name, which is in parentheses: state is
        // field 3, utime 14, stime 15.
        std::istringstream rest(stat.substr(stat.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    // True when the simulator has ended by itself within `limit`.
    bool EndsWithin(std::chrono::milliseconds limit, int* status) {
        const auto until = Clock::now() + limit;
        while (Clock::now() < until) {
            if (waitpid(pid_, status, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            const auto limit = Clock::now() + std::chrono::seconds(3);
            while (waitpid(pid_, &status, WNOHANG) == 0) {
                if (Clock::now() > limit) {
                    kill(pid_, SIGKILL);
                    waitpid(pid_, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    // Writes the control file and waits until the simulator has answered it.
    // Returns the cause it refused the content for, "" when it took it.
    std::string Control(const std::string& text) {
        { std::ofstream(control_ + ".new") << text; }
        std::rename((control_ + ".new").c_str(), control_.c_str());
        const auto limit = Clock::now() + std::chrono::seconds(5);
        for (;;) {
            const std::string ack = ReadAll(control_ + ".ack");
            if (ack == text) return std::string();
            const std::string refused = "\n" + text;
            if (ack.compare(0, 7, "error: ") == 0 && ack.size() > refused.size() &&
                ack.compare(ack.size() - refused.size(), refused.size(), refused) == 0) {
                return ack.substr(7, ack.size() - refused.size() - 7);
            }
            if (Clock::now() > limit) {
                ADD_FAILURE() << "simulator did not answer the control file";
                return "no answer";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    HostJob Job(const char* part, const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& data) {
        const PartsView parts = Parts(TableVariant::Normal);
        const int i = FindPart(parts, part);
        HostJob j;
        j.Body = &parts.Body[i];
        j.Traits = parts.Traits[i];
        j.CheckRate = 9600;
        j.Code = code.data();
        j.CodeSize = code.size();
        j.Data = data.empty() ? nullptr : data.data();
        j.DataSize = data.size();
        j.Status = &status_;
        j.Stop = &stop_;
        j.Timing.ReplyTimeoutMs = 300;
        return j;
    }

    int master_ = -1, slave_ = -1;
    pid_t pid_ = -1;
    std::string dir_, control_;
    std::unique_ptr<PtyLink> link_;
    isp::StatusWord status_{isp::kStatusWaitingForTarget};
    isp::StopRequest stop_{0};
};

TEST_F(Simulator, WritesWhatWasProgrammed) {
    Start({"--part", "T20G8", "--appear-ms", "100"});
    std::vector<std::uint8_t> code(5000), data(200);
    for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<std::uint8_t>(i * 7);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(255 - i);
    HostJob job = Job("T20G8", code, data);
    ASSERT_EQ(RunUpdate(*link_, job), isp::kPass);
    std::string flash = ReadAll(dir_ + "/flash.bin"), eeprom = ReadAll(dir_ + "/eeprom.bin");
    ASSERT_EQ(flash.size(), 8192u);
    EXPECT_EQ(flash.substr(0, code.size()), std::string(code.begin(), code.end()));
    EXPECT_EQ(flash.substr(code.size()), std::string(8192 - code.size(), '\xFF'));
    ASSERT_EQ(eeprom.size(), 256u);
    EXPECT_EQ(eeprom.substr(0, data.size()), std::string(data.begin(), data.end()));
    EXPECT_EQ(ReadAll(dir_ + "/runs.txt"), "1\n");
    EXPECT_EQ(ReadAll(dir_ + "/info.bin").size(), kInfoSize);
}

TEST_F(Simulator, ControlFileSwitchesScenarios) {
    Start({"--part", "T10N4"});
    std::vector<std::uint8_t> code(1000, 0x3C);
    HostJob job = Job("T10N4", code, {});
    const struct {
        const char* Control;
        std::uint16_t Expected;
    } cases[] = {
        {"--fail erase", isp::kEraseError},
        {"--customer-id 0x1234", isp::kCustomerIdError},
        {"--part T20G8", isp::kDeviceIdError},
        {"--max-baud 9600 --fail none", isp::kBaudRateTooLarge},  // asks 19200 below
        {"--fail program --fail-offset 512", isp::kProgramError},
        {"--appear-ms 50", isp::kPass},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Control(c.Control), "");
        job.BaudRate = c.Expected == isp::kBaudRateTooLarge ? 19200 : 0;
        status_ = isp::kStatusWaitingForTarget;
        EXPECT_EQ(RunUpdate(*link_, job), c.Expected) << c.Control;
    }
}

TEST_F(Simulator, ControlFileRefusalLeavesTheTargetAndSaysWhy) {
    Start({"--part", "T10N4", "--serial", "40"});
    std::vector<std::uint8_t> code(1000, 0x3C);
    HostJob job = Job("T10N4", code, {});
    ASSERT_EQ(Control("--fail erase --serial 50"), "");
    EXPECT_EQ(Control("--fail Bogus --serial 60"),
              "--fail Bogus: unknown value, expected none, sync, erase, option, register, program, "
              "verify, readinfo or silent");
    EXPECT_EQ(RunUpdate(*link_, job), isp::kEraseError) << "the target of the last content taken";
}

// The far end going away (its socat ended, the adapter pulled) leaves the
// simulator idle, not spinning; a port that comes back under the same name
// gets a fresh target; SIGTERM ends it in every state.
TEST_F(Simulator, HangupWaitsQuietlyForThePortAndEndsOnSigterm) {
    Start({"--part", "T10N4", "--appear-ms", "50"}, true);
    std::vector<std::uint8_t> code(1000, 0x5A);
    HostJob job = Job("T10N4", code, {});
    ASSERT_EQ(RunUpdate(*link_, job), isp::kPass);

    ClosePair();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double before = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    int status = 0;
    ASSERT_FALSE(EndsWithin(std::chrono::milliseconds(0), &status)) << "ended instead of waiting for the port";
    EXPECT_LT(CpuSeconds() - before, 0.2) << "spins while its port is gone";

    RePair();
    status_ = isp::kStatusWaitingForTarget;
    // A simulator that never comes back would leave the run syncing for
    // ever: a stop request bounds it.
    std::thread watchdog([this] {
        for (int i = 0; i < 1000 && status_ == isp::kStatusWaitingForTarget; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (status_ == isp::kStatusWaitingForTarget) stop_ = 1;
    });
    EXPECT_EQ(RunUpdate(*link_, job), isp::kPass) << "the port came back";
    watchdog.join();

    ClosePair();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    ASSERT_TRUE(EndsWithin(std::chrono::seconds(1), &status)) << "SIGTERM ignored while the port is gone";
    EXPECT_TRUE(WIFEXITED(status)) << status;
}

TEST_F(Simulator, PacingTakesLineTime) {
    Start({"--part", "T10N4", "--pace", "1"});
    std::vector<std::uint8_t> code(2048, 0x42);
    HostJob job = Job("T10N4", code, {});
    job.CheckRate = 19200;
    job.BaudRate = 19200;
    HostStats stats;
    const auto t0 = Clock::now();
    ASSERT_EQ(RunUpdate(*link_, job, &stats), isp::kPass);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    // Replies are paced by the target; commands are charged before their
    // reply. Together the run cannot beat the line.
    const double line = static_cast<double>(stats.BytesOut + stats.BytesIn) * 10.0 / 19200.0;
    EXPECT_GE(seconds, 0.9 * line);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// Options the simulator cannot take end it at once with the cause, on the
// command line (exit code 2) as in the control file (the target stays).
TEST(SimulatorOptions, RefusedOnTheCommandLineWithTheCause) {
    const struct {
        const char* Options;
        const char* Message;
    } cases[] = {
        {"--fail bogus",
         "--fail bogus: unknown value, expected none, sync, erase, option, register, program, "
         "verify, readinfo or silent"},
        {"--part NOPE", "--part NOPE: no such part in the table"},
        {"--serial abc", "--serial abc: not a number"},
        {"--appear-ms -5", "--appear-ms -5: out of range, expected 0 to 4294967295"},
        {"--pace 2", "--pace 2: unknown value, expected 0 or 1"},
        {"--wait-status 102", "--wait-status 102: the library's status word"},
    };
    char tmpl[] = "/tmp/tarvel-sim-args-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string err = std::string(tmpl) + "/stderr.txt";
    for (const auto& c : cases) {
        // The port is never reached: the options are checked first.
        const std::string cmd =
            std::string(TARVEL_TARGET_SIM) + " --port " + tmpl + "/no-such-tty " + c.Options + " 2>" + err;
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << c.Options;
        EXPECT_EQ(WEXITSTATUS(status), 2) << c.Options;
        EXPECT_NE(ReadAll(err).find(std::string("tarvel_target_sim: ") + c.Message), std::string::npos)
            << c.Options << "\n"
            << ReadAll(err);
    }
    std::system(("rm -rf '" + std::string(tmpl) + "'").c_str());
}

}  // namespace
}  // namespace tarvel
