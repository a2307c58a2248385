// Takes per second from one database series for 1, 8 and 32 takers at once
// (one process each, as stations are), and the time one board's number costs
// a station (take, then pass) against a 64 KiB board's time at 115200 baud.
//   tarvel_take_bench "CONNECTION" [SECONDS]
// Prints figures; it is not a test.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/DbSerials.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
    long takes = 0;
    double p50 = 0, p99 = 0, max = 0;  // milliseconds per board: take + pass
};

// One taker for `seconds`: every board takes a number and passes.
Result Taker(const std::string& connection, const std::string& series, int index, double seconds) {
    cli::SerialField field;
    field.width = 8;
    cli::DbSerials serials(connection, series, "bench" + std::to_string(index), field, 1, 1, {});
    std::string note, why;
    Result r;
    if (serials.Start("", nullptr, &note, &why) != cli::DbSerials::Started::Ok) {
        std::fprintf(stderr, "start: %s\n", why.c_str());
        return r;
    }
    std::vector<double> ms;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const auto t0 = Clock::now();
        cli::SerialValue v;
        if (serials.Take(&v, &why) != cli::SerialSource::Taken::Ok || !serials.Passed(v, &why) ||
            serials.Waiting() != 0) {
            std::fprintf(stderr, "take: %s\n", why.c_str());
            break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    r.takes = static_cast<long>(ms.size());
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        r.p50 = ms[ms.size() / 2];
        r.p99 = ms[ms.size() * 99 / 100];
        r.max = ms.back();
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvel_take_bench \"CONNECTION\" [SECONDS]\n");
        return 2;
    }
    const std::string connection = argv[1];
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    // A 64 KiB image at 115200 baud: ten bit times a byte, the line's limit
    // for the programming alone.
    const double boardSeconds = 65536.0 / 11520.0;
    std::printf("takers  takes/s   per board (take + pass) p50 / p99 / max ms   p50 of a 64 KiB board\n");
    for (int takers : {1, 8, 32}) {
        const std::string series = "bench-" + std::to_string(::getpid()) + "-" + std::to_string(takers);
        std::vector<int> pipes;
        std::vector<pid_t> children;
        for (int i = 0; i < takers; ++i) {
            int fd[2];
            if (pipe(fd) != 0) return 1;
            const pid_t pid = fork();
            if (pid == 0) {
                close(fd[0]);
                const Result r = Taker(connection, series, i, seconds);
                if (write(fd[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(1);
                _exit(0);
            }
            close(fd[1]);
            pipes.push_back(fd[0]);
            children.push_back(pid);
        }
        long total = 0;
        double p50 = 0, p99 = 0, max = 0;
        for (int i = 0; i < takers; ++i) {
            Result r;
            if (read(pipes[i], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r = Result{};
            close(pipes[i]);
            waitpid(children[i], nullptr, 0);
            total += r.takes;
            p50 = std::max(p50, r.p50);
            p99 = std::max(p99, r.p99);
            max = std::max(max, r.max);
        }
        std::printf("%6d  %7.0f   %8.2f / %8.2f / %8.2f            %.4f %%\n", takers, total / seconds, p50, p99, max,
                    p50 / 1000.0 / boardSeconds * 100.0);
    }
    std::printf(
        "(a 64 KiB board at 115200 baud takes at least %.2f s on the line; p50 and p99 are the slowest "
        "taker's)\n",
        boardSeconds);
    return 0;
}
