// tarvel_target_sim: a simulated microcontroller with its ISP bootloader on a
// serial line (a terminal device, for example one end of a socat pty pair
// whose other end a Wine COM port points to).
//
//   tarvel_target_sim --port /tmp/ttyB [--out-dir DIR] [--control FILE]
//                     [scenario options]
//
// Scenario options (see protocol/Scenario.h): --part NAME, --appear-ms N,
// --never, --customer-id N, --device-id N, --max-baud N, --page-ms N,
// --erase-ms N, --pace 0|1, --repeat-delay-ms N, --serial N,
// --fail none|sync|erase|option|register|program|verify|readinfo|silent,
// --fail-offset N. Names and words in any case. (wait-status is the
// library's own option and is refused here.)
//
// --out-dir DIR: after each programmed target leaves (run command), its
// memories go to DIR/flash.bin, DIR/eeprom.bin and DIR/info.bin (each
// replaced whole, by rename), and DIR/runs.txt holds the number of runs.
//
// --control FILE: the file holds scenario options in command-line form. When
// its content changes, the simulator re-seats a fresh target with the options
// of the command line overridden by those of the file, and then writes the
// same content to FILE.ack, so that a test knows when it took effect. Options
// it cannot take leave the target as it was; FILE.ack then holds a line
// "error: " and the cause, followed by the content.
//
// A bad option on the command line ends the program with exit code 2 and
// the cause on its error output ("--fail bogus: unknown value, ...").
//
// When the port hangs up (the other end of the pty pair went away, as when
// its socat ends or an adapter is pulled) the simulator closes it and tries
// to open the same path again every 100 ms, without spinning; once the port
// is back a fresh target is seated on it. SIGTERM and SIGINT end it at once,
// in every state.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tarvel_dll/protocol/PartsTable.h"
#include "tarvel_dll/protocol/Protocol.h"
#include "tarvel_dll/protocol/Scenario.h"
#include "tarvel_dll/protocol/TargetModel.h"

namespace {

volatile sig_atomic_t g_quit = 0;
void OnSignal(int) { g_quit = 1; }

// Without SA_RESTART, so that a signal cuts a wait short.
void CatchSignal(int number) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(number, &sa, nullptr);
}

// Opens the terminal raw and non-blocking; -1 with errno when it cannot.
int OpenLine(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// A hung-up terminal reads 0 bytes (or EIO) and polls readable, writable
// and in error forever; any of these means the other end is gone.
bool HungUp(short revents) { return (revents & (POLLHUP | POLLERR)) != 0; }

using tarvel::Micros;

Micros Now() {
    static const auto epoch = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - epoch).count();
}

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Writes beside the target name and renames, so a reader never sees half a file.
bool WriteFileAtomic(const std::string& path, const void* data, std::size_t size) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

// Applies "--name value" pairs ("--never" takes none) to s. The message of
// a refusal names the option and its value: "--fail bogus: unknown value, ...".
bool ApplyOptions(const std::vector<std::string>& args, tarvel::Scenario& s, std::string& error) {
    const tarvel::PartsView parts = tarvel::Parts(tarvel::TableVariant::Normal);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
            error = "unexpected argument: " + a;
            return false;
        }
        const std::string name = tarvel::LowerAscii(a.substr(2));
        std::string value;
        if (name != "never") {
            if (i + 1 >= args.size()) {
                error = a + ": value missing";
                return false;
            }
            value = args[++i];
        }
        const std::string shown = value.empty() ? a : a + " " + value;
        if (name == "wait-status") {
            // The status word is the library's: a target on a serial line
            // has no say in it.
            error = shown +
                    ": the library's status word, set by [Adapter] wait-status in Tarvel_DLL.ini "
                    "for its built-in adapter only";
            return false;
        }
        const std::string why = tarvel::ApplyScenarioOption(s, name, value, parts);
        if (!why.empty()) {
            error = shown + ": " + why;
            return false;
        }
    }
    return true;
}

std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    std::string t;
    while (in >> t) out.push_back(t);
    return out;
}

int Usage(const char* why) {
    std::fprintf(stderr,
                 "tarvel_target_sim: %s\nusage: tarvel_target_sim --port TTY [--out-dir DIR] "
                 "[--control FILE] [scenario options]\n",
                 why);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string port, outDir, control;
    std::vector<std::string> scenarioArgs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--port" || a == "--out-dir" || a == "--control") && i + 1 < argc) {
            (a == "--port" ? port : a == "--out-dir" ? outDir : control) = argv[++i];
        } else if (a == "--help" || a == "-h") {
            return Usage("simulated ISP target");
        } else {
            scenarioArgs.push_back(a);
        }
    }
    if (port.empty()) return Usage("--port is required");
    tarvel::Scenario base;
    std::string error;
    if (!ApplyOptions(scenarioArgs, base, error)) return Usage(error.c_str());

    int fd = OpenLine(port);
    if (fd < 0) {
        std::fprintf(stderr, "tarvel_target_sim: cannot open %s: %s\n", port.c_str(), std::strerror(errno));
        return 1;
    }
    CatchSignal(SIGTERM);
    CatchSignal(SIGINT);
    signal(SIGPIPE, SIG_IGN);

    const tarvel::PartsView parts = tarvel::Parts(tarvel::TableVariant::Normal);
    // Without a part named, the simulator plays a mid-size part with EEPROM.
    if (base.Part.empty()) base.Part = "T30C64";
    tarvel::TargetModel target(base, parts, -1, Now());
    target.OnRun = [&outDir](const tarvel::TargetModel& t) {
        if (outDir.empty()) return;
        std::uint8_t info[tarvel::kInfoSize];
        t.BuildInfo(info);
        WriteFileAtomic(outDir + "/flash.bin", t.Flash().data(), t.Flash().size());
        WriteFileAtomic(outDir + "/eeprom.bin", t.Eeprom().data(), t.Eeprom().size());
        WriteFileAtomic(outDir + "/info.bin", info, sizeof info);
        const std::string runs = std::to_string(t.CompletedRuns()) + "\n";
        WriteFileAtomic(outDir + "/runs.txt", runs.data(), runs.size());
    };

    tarvel::Scenario current = base;
    std::string applied;
    Micros nextControlCheck = 0;
    std::vector<std::uint8_t> pendingOut;
    std::uint8_t buf[4096];
    while (!g_quit) {
        const Micros now = Now();
        if (!control.empty() && now >= nextControlCheck) {
            nextControlCheck = now + 20000;
            std::string text;
            if (ReadFile(control, text) && text != applied) {
                tarvel::Scenario s = base;
                std::string ack = text;
                if (ApplyOptions(Tokens(text), s, error)) {
                    current = s;
                    target.Reset(s, -1, Now());
                    pendingOut.clear();
                    if (fd >= 0) tcflush(fd, TCIOFLUSH);
                } else {
                    // The target stays as it was; the acknowledgement says
                    // why, so that a test does not go on with the wrong one.
                    std::fprintf(stderr, "tarvel_target_sim: control: %s\n", error.c_str());
                    ack = "error: " + error + "\n" + text;
                }
                applied = text;
                WriteFileAtomic(control + ".ack", ack.data(), ack.size());
            }
        }

        if (fd < 0) {
            // The port is gone: look for it again now and then. A signal
            // cuts the sleep short.
            usleep(100000);
            if (g_quit) break;
            fd = OpenLine(port);
            if (fd >= 0) {
                std::fprintf(stderr, "tarvel_target_sim: %s is back\n", port.c_str());
                target.Reset(current, -1, Now());
                pendingOut.clear();
                tcflush(fd, TCIOFLUSH);
            }
            continue;
        }

        // Sleep until input, the next reply byte, or the next control check.
        Micros wake = control.empty() ? now + 200000 : nextControlCheck;
        const Micros due = target.NextOutputAt();
        if (due >= 0 && due < wake) wake = due;
        int timeoutMs = static_cast<int>((wake - now + 999) / 1000);
        if (!pendingOut.empty()) timeoutMs = std::min(timeoutMs, 5);
        pollfd pfd{fd, POLLIN, 0};
        const int r = poll(&pfd, 1, timeoutMs < 0 ? 0 : timeoutMs);
        if (r < 0 && errno != EINTR) break;
        if (r > 0 && (pfd.revents & POLLNVAL)) break;
        bool lost = r > 0 && HungUp(pfd.revents);
        if (!lost && r > 0 && (pfd.revents & POLLIN)) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) target.Receive(buf, static_cast<std::size_t>(n), Now());
            lost = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
        }

        const std::size_t n = lost ? 0 : target.TakeOutput(buf, sizeof buf, Now());
        pendingOut.insert(pendingOut.end(), buf, buf + n);
        while (!lost && !pendingOut.empty()) {
            const ssize_t w = write(fd, pendingOut.data(), pendingOut.size());
            if (w < 0 && errno != EAGAIN && errno != EINTR) lost = true;
            if (w <= 0) break;  // buffer full: try again on the next turn
            pendingOut.erase(pendingOut.begin(), pendingOut.begin() + w);
        }
        if (lost) {
            std::fprintf(stderr, "tarvel_target_sim: %s hung up; waiting for it to come back\n", port.c_str());
            close(fd);
            fd = -1;
            pendingOut.clear();
        }
    }
    if (fd >= 0) close(fd);
    return 0;
}
