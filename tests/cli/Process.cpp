#include "tests/cli/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace clitest {

namespace {

std::string Unix(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::string& cwd, bool withInput) {
    int out[2], err[2], in[2] = {-1, -1};
    // A program that ends before reading its input must not end the test.
    if (withInput) signal(SIGPIPE, SIG_IGN);
    if (withInput && pipe(in) != 0) return;
    if (pipe(out) != 0) return;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (withInput) {
            dup2(in[0], 0);
            close(in[1]);
        } else {
            const int devnull = open("/dev/null", O_RDONLY);
            if (devnull >= 0) dup2(devnull, 0);
        }
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        if (chdir(cwd.c_str()) != 0) _exit(127);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (withInput) close(in[0]);
    if (pid < 0) {
        if (withInput) close(in[1]);
        close(out[0]);
        close(err[0]);
        return;
    }
    setpgid(pid, pid);  // also from here, so that a signal right after start reaches the group
    pid_ = pid;
    out_ = out[0];
    err_ = err[0];
    in_ = withInput ? in[1] : -1;
}

void Process::Input(const std::string& text) {
    if (in_ >= 0 && write(in_, text.data(), text.size()) < 0) {
        close(in_);
        in_ = -1;
    }
}

Process::~Process() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
    if (in_ >= 0) close(in_);
}

void Process::SignalGroup(int sig) {
    if (pid_ > 0) kill(-pid_, sig);
}

void Process::Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

RunResult Process::Wait(int timeoutMs, const std::function<void(const std::string&)>& onError,
                        const std::function<void(const std::string&)>& onOutput) {
    RunResult r;
    if (pid_ <= 0) return r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string errRaw;
    auto drain = [&](int& fd, bool isOut, bool block) {
        if (fd < 0) return;
        if (!block) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        char buf[4096];
        for (;;) {
            const ssize_t got = read(fd, buf, sizeof buf);
            if (got == 0 || (got < 0 && errno != EINTR)) {
                if (got == 0 || block) {
                    close(fd);
                    fd = -1;
                }
                return;
            }
            if (got < 0) continue;
            if (isOut) {
                r.out.append(buf, static_cast<std::size_t>(got));
                if (onOutput) onOutput(Unix(r.out));
            } else {
                errRaw.append(buf, static_cast<std::size_t>(got));
                if (onError) onError(Unix(errRaw));
            }
            if (block) return;
        }
    };
    int status = 0;
    bool exited = false;
    while (!exited) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            r.timedOut = true;
            kill(-pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        pollfd fds[2];
        int n = 0;
        if (out_ >= 0) fds[n++] = {out_, POLLIN, 0};
        if (err_ >= 0) fds[n++] = {err_, POLLIN, 0};
        // The outputs may stay open after the program ends (a Wine helper
        // that inherited them), so the process itself is looked at too.
        poll(fds, static_cast<nfds_t>(n), static_cast<int>(left < 50 ? left : 50));
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == out_) drain(out_, true, true);
            else if (fds[i].fd == err_) drain(err_, false, true);
        }
        exited = waitpid(pid_, &status, WNOHANG) == pid_;
    }
    if (exited) {
        drain(out_, true, false);
        drain(err_, false, false);
    }
    pid_ = -1;
    r.exitCode = exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Unix(r.out);
    r.err = Unix(errRaw);
    return r;
}

RunResult Run(const std::vector<std::string>& argv, const std::string& cwd, int timeoutMs) {
    Process p(argv, cwd);
    return p.Wait(timeoutMs);
}

}  // namespace clitest
