// The time serial numbers from one database series cost the stations that
// take them (one process per taker, as stations are; take, then pass).
//   tarvel_take_bench "CONNECTION" [SECONDS [BOARD_SECONDS [BOARDS]]]
// Two parts, in one run:
// - unpaced: 1, 8 and 32 takers take as fast as they can for SECONDS
//   (default 5): takes per second, and what a board waits for its number
//   when the database is the only thing the takers do;
// - paced: 16 takers (the ports of one station) and 32 (two stations) each
//   start a board every BOARD_SECONDS (default a 64 KiB board's time at
//   115200 baud), at a phase of its own, for BOARDS boards (default 20):
//   the time take and pass add to a board. A shorter BOARD_SECONDS puts
//   more load on the database than real boards would.
// Times are given against a 64 KiB board's time in either part. Prints
// figures; it is not a test.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/DbSerials.h"

namespace {

using Clock = std::chrono::steady_clock;

// A 64 KiB image at 115200 baud: ten bit times a byte, the line's limit for
// the programming alone.
constexpr double kBoardSeconds = 65536.0 / 11520.0;

struct Sample {
    double take = 0, total = 0;  // milliseconds: the take, the take and the pass
    bool first = false;          // the taker's first board (its statements new to its connection)
};

struct Pace {
    bool paced = false;
    double seconds = 5;       // unpaced: how long
    double boardSeconds = 0;  // paced: a board every ...
    int boards = 0;           // ... this many times
};

bool TakeAndPass(cli::DbSerials* serials, Sample* s) {
    std::string why;
    const auto t0 = Clock::now();
    cli::SerialValue v;
    if (serials->Take(&v, &why) != cli::SerialSource::Taken::Ok) {
        std::fprintf(stderr, "take: %s\n", why.c_str());
        return false;
    }
    const auto t1 = Clock::now();
    if (!serials->Passed(v, &why) || serials->Waiting() != 0) {
        std::fprintf(stderr, "pass: %s\n", why.c_str());
        return false;
    }
    const auto t2 = Clock::now();
    s->take = std::chrono::duration<double, std::milli>(t1 - t0).count();
    s->total = std::chrono::duration<double, std::milli>(t2 - t0).count();
    return true;
}

std::vector<Sample> Taker(const std::string& connection, const std::string& series, int index, const Pace& pace) {
    cli::SerialField field;
    field.width = 8;
    cli::DbSerials serials(connection, series, "bench" + std::to_string(index), field, 1, 1, {});
    std::string note, why;
    std::vector<Sample> samples;
    if (serials.Start("", nullptr, &note, &why) != cli::DbSerials::Started::Ok) {
        std::fprintf(stderr, "start: %s\n", why.c_str());
        return samples;
    }
    Sample s;
    if (!pace.paced) {
        const auto end = Clock::now() + std::chrono::duration<double>(pace.seconds);
        while (Clock::now() < end && TakeAndPass(&serials, &s)) samples.push_back(s);
        return samples;
    }
    // Ports start their boards when the operator puts them in: each taker
    // at a phase of its own within the board time.
    std::mt19937 random(static_cast<unsigned>(::getpid()));
    const auto board = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(pace.boardSeconds));
    auto next = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                   pace.boardSeconds * std::uniform_real_distribution<>(0, 1)(random)));
    for (int i = 0; i < pace.boards; ++i) {
        std::this_thread::sleep_until(next);
        if (!TakeAndPass(&serials, &s)) break;
        s.first = i == 0;
        samples.push_back(s);
        next += board;
    }
    return samples;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Every taker's samples, together.
bool Run(const std::string& connection, int takers, const Pace& pace, std::vector<Sample>* all) {
    const std::string series =
        "bench-" + std::to_string(::getpid()) + "-" + (pace.paced ? "paced-" : "") + std::to_string(takers);
    std::vector<int> pipes;
    std::vector<pid_t> children;
    for (int i = 0; i < takers; ++i) {
        int fd[2];
        if (pipe(fd) != 0) return false;
        const pid_t pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            close(fd[0]);
            const std::vector<Sample> samples = Taker(connection, series, i, pace);
            const size_t n = samples.size();
            _exit(WriteAll(fd[1], &n, sizeof n) && WriteAll(fd[1], samples.data(), n * sizeof(Sample)) ? 0 : 1);
        }
        close(fd[1]);
        pipes.push_back(fd[0]);
        children.push_back(pid);
    }
    bool ok = true;
    for (int i = 0; i < takers; ++i) {
        size_t n = 0;
        std::vector<Sample> samples;
        if (ReadAll(pipes[i], &n, sizeof n)) {
            samples.resize(n);
            if (!ReadAll(pipes[i], samples.data(), n * sizeof(Sample))) samples.clear();
        }
        close(pipes[i]);
        int status = 0;
        waitpid(children[i], &status, 0);
        if (pace.paced && static_cast<int>(samples.size()) != pace.boards) ok = false;
        all->insert(all->end(), samples.begin(), samples.end());
    }
    return ok;
}

struct Spread {
    double p50 = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> ms) {
    Spread s;
    if (ms.empty()) return s;
    std::sort(ms.begin(), ms.end());
    s.p50 = ms[ms.size() / 2];
    s.p99 = ms[ms.size() * 99 / 100];
    s.max = ms.back();
    return s;
}

double Percent(double ms) { return ms / 1000.0 / kBoardSeconds * 100.0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvel_take_bench \"CONNECTION\" [SECONDS [BOARD_SECONDS [BOARDS]]]\n");
        return 2;
    }
    const std::string connection = argv[1];
    Pace unpaced;
    unpaced.seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    Pace paced;
    paced.paced = true;
    paced.boardSeconds = argc > 3 ? std::atof(argv[3]) : kBoardSeconds;
    paced.boards = argc > 4 ? std::atoi(argv[4]) : 20;
    if (unpaced.seconds <= 0 || paced.boardSeconds <= 0 || paced.boards <= 0) {
        std::fprintf(stderr, "SECONDS, BOARD_SECONDS and BOARDS are above zero\n");
        return 2;
    }
    int status = 0;

    std::printf("unpaced, %.1f s: every taker takes and passes as fast as it can\n", unpaced.seconds);
    std::printf("takers  takes/s   take p50 / p99 ms   take + pass p50 / p99 / max ms   p50 of a 64 KiB board\n");
    for (int takers : {1, 8, 32}) {
        std::vector<Sample> all;
        if (!Run(connection, takers, unpaced, &all)) status = 1;
        std::vector<double> take, total;
        for (const Sample& s : all) take.push_back(s.take), total.push_back(s.total);
        const Spread t = SpreadOf(take), b = SpreadOf(total);
        std::printf("%6d  %7.0f   %8.2f / %8.2f   %8.2f / %8.2f / %8.2f        %7.3f %%\n", takers,
                    static_cast<double>(all.size()) / unpaced.seconds, t.p50, t.p99, b.p50, b.p99, b.max,
                    Percent(b.p50));
    }

    std::printf("\npaced: every taker starts a board every %.2f s, %d boards each\n", paced.boardSeconds, paced.boards);
    std::printf(
        "takers  boards   take p50 / p99 ms   take + pass p50 / p99 / max ms   of a 64 KiB board: p50 / p99 / "
        "max   first boards: max ms\n");
    for (int takers : {16, 32}) {
        std::vector<Sample> all;
        if (!Run(connection, takers, paced, &all)) {
            std::fprintf(stderr, "%d paced takers: a taker did not finish its boards\n", takers);
            status = 1;
        }
        // A taker's first board apart: its connection meets the statements
        // for the first time, once a run.
        std::vector<double> take, total, first;
        for (const Sample& s : all) {
            if (s.first) {
                first.push_back(s.total);
                continue;
            }
            take.push_back(s.take), total.push_back(s.total);
        }
        const Spread t = SpreadOf(take), b = SpreadOf(total), f = SpreadOf(first);
        std::printf("%6d  %6zu   %8.2f / %8.2f   %8.2f / %8.2f / %8.2f        %.3f / %.3f / %.3f %%        %8.2f\n",
                    takers, total.size(), t.p50, t.p99, b.p50, b.p99, b.max, Percent(b.p50), Percent(b.p99),
                    Percent(b.max), f.max);
    }
    std::printf(
        "(a 64 KiB board at 115200 baud takes at least %.2f s on the line; spreads are over every board of every "
        "taker, in the paced part but for each taker's first board)\n",
        kBoardSeconds);
    return status;
}
