// Runs Tarvel_CLI.exe under Wine from the Linux side, exactly as a shell
// script on a production line would: its own process group (so that a
// Ctrl+C reaches it as SIGINT, which Wine hands to the console control
// handler), both outputs captured, and a deadline for every run.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace clitest {

struct RunResult {
    int exitCode = -1;  // -1: killed at the deadline or by a signal
    bool timedOut = false;
    std::string out, err;  // with CR LF turned into LF
};

class Process {
public:
    // Starts argv[0] (looked up on PATH) in cwd, in a new process group.
    // withInput: its standard input is a pipe that Input writes to (else
    // /dev/null).
    Process(const std::vector<std::string>& argv, const std::string& cwd, bool withInput = false);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pid_ > 0; }
    // Sends a signal to the whole group, as a terminal's Ctrl+C does.
    void SignalGroup(int sig);
    // Sends a signal to the started process alone (not the ones it started).
    void Signal(int sig);

    // Writes to the standard input (a process started withInput).
    void Input(const std::string& text);

    // Reads both outputs until the process ends or timeoutMs passes (then
    // the group is killed). onError, when given, sees the error output so
    // far each time more of it arrives; onOutput the same of the standard
    // output.
    RunResult Wait(int timeoutMs, const std::function<void(const std::string&)>& onError = nullptr,
                   const std::function<void(const std::string&)>& onOutput = nullptr);

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1, in_ = -1;
};

RunResult Run(const std::vector<std::string>& argv, const std::string& cwd, int timeoutMs = 60000);

}  // namespace clitest
