// A run of boards driven by scripted driver reports, on a gang of ports and
// on a single port: which boards start, which serial numbers the passed
// boards carry, what each port's row says and how the run ends, for
// failures, a dead worker, a port that never opened, --stop-on-fail, Ctrl+C
// and serial numbers that run out.
#include "cli/GangRun.h"

#include <gtest/gtest.h>

#include <sstream>

#include "isp/IspRecords.h"

namespace {

using cli::GangRun;

struct Case {
    const char* name;
    unsigned ports;
    cli::GangSettings settings;
    std::uint64_t serialStart;  // 0: no serial numbers
    unsigned serialWidth;
    // r0 port 0 ready, s0 starts a board, n0 starts none, u0 finds the serials
    // used up, w0 status 50%, p0 f0 k0 l0 its board passes, fails, stops, its
    // port is lost, d0 its worker dies (x0 before it was ready: exit code 5),
    // v0 a new worker takes the lost port again, h Ctrl+C.
    const char* script;
    std::vector<std::uint64_t> passedSerials;  // in the order the boards passed
    const char* states;                        // the rows' states at the end, '|' between
    int exitCode;
};

cli::GangSettings Repeat(std::uint64_t n, bool keepGoing = false, bool stopOnFail = false) {
    cli::GangSettings s;
    s.repeat = n;
    s.keepGoing = keepGoing;
    s.stopOnFail = stopOnFail;
    return s;
}

cli::GangSettings Forever() {
    cli::GangSettings s;
    s.forever = true;
    return s;
}

// clang-format off
const Case kCases[] = {
    {"nine boards over three ports", 3, Repeat(9), 1000, 4,
     "r0 r1 r2 s0 s1 s2 w1 p1 s1 p0 s0 p2 s2 p2 s2 p1 s1 p0 s0 p0 n0 p1 n1 p2 n2",
     {1001, 1000, 1002, 1005, 1003, 1004, 1008, 1007, 1006}, "passed|passed|passed", 0},
    {"a failed board ends its port, its number goes to the next board", 3, Repeat(6), 100, 4,
     "r0 r1 r2 s0 s1 s2 f1 n1 p0 s0 p2 s2 p0 s0 p2 n2 p0 n0",
     {100, 102, 101, 103, 104}, "passed|failed|passed", 1},
    {"--keep-going keeps the failing port", 2, Repeat(4, true), 1, 4, "r0 r1 s0 s1 f0 s0 p0 p1 s1 p1 n0",
     {1, 2, 3}, "passed|passed", 1},
    {"--stop-on-fail: no board starts after a failure", 3, Repeat(9, false, true), 1, 4,
     "r0 r1 r2 s0 s1 s2 p0 s0 f1 n2 n1 p2 n2 w0 p0 n0", {1, 3, 4}, "passed|failed|passed", 1},
    {"a dead worker's number is never given again", 2, Repeat(4), 7, 4, "r0 r1 s0 s1 w0 d0 p1 s1 p1 s1 p1 n1",
     {8, 9, 10}, "lost|passed", 1},
    {"a lost port fails its board and is retired", 2, Repeat(3), 7, 4, "r0 r1 s0 s1 l1 d1 p0 s0 p0 n0",
     {7, 8}, "passed|lost", 1},
    {"a port that never opened", 2, Repeat(2), 0, 4, "x0 r1 s1 p1 s1 p1 n1", {}, "not opened|passed", 5},
    {"Ctrl+C stops the running boards", 2, Forever(), 1, 4, "r0 r1 s0 s1 p0 s0 h k0 k1 n0 n1", {1},
     "stopped|stopped", 6},
    {"serial numbers used up", 2, Forever(), 254, 1, "r0 r1 s0 s1 p1 u1 n0 p0", {255, 254}, "passed|passed", 7},
    {"serial numbers used up with a failure", 2, Forever(), 255, 1, "r0 r1 s0 u1 f0 n0", {}, "failed|idle", 1},
    // A single port's program run is a run of one port.
    {"one port: a failed board ends the run", 1, Repeat(3), 10, 4, "r0 s0 p0 s0 f0 n0", {10}, "failed", 1},
    {"one port, --keep-going: the failed board's number goes to the next", 1, Repeat(3, true), 10, 4,
     "r0 s0 f0 s0 p0 s0 p0 n0", {10, 11}, "passed", 1},
    {"one port lost during a board", 1, Repeat(3), 10, 4, "r0 s0 p0 s0 l0 n0", {10}, "lost", 1},
    {"one port, Ctrl+C", 1, Forever(), 10, 4, "r0 s0 p0 s0 h k0 n0", {10}, "stopped", 6},
    {"a lost port taken again", 2, Repeat(4), 7, 4, "r0 r1 s0 s1 l1 d1 n1 v1 n1 r1 s1 p0 s0 p1 p0 n0 n1", {7, 8, 9},
     "passed|passed", 1},
    {"one port runs out of serial numbers", 1, Forever(), 254, 1, "r0 s0 p0 s0 p0 u0 n0", {254, 255}, "passed", 7},
};
// clang-format on

TEST(GangRun, ScriptedWorkersGiveTheseBoardsSerialsRowsAndExitCodes) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> names;
        for (unsigned i = 0; i < c.ports; ++i) names.push_back("COM" + std::to_string(i + 3));
        cli::SerialBook book(c.serialStart, 1, c.serialWidth);
        GangRun run(names, c.settings, c.serialStart != 0 ? &book : nullptr);
        std::vector<std::uint64_t> passed;
        std::istringstream script(c.script);
        std::string step, why;
        while (script >> step) {
            SCOPED_TRACE(step);
            if (step == "h") {
                run.Halt();
                continue;
            }
            const std::size_t i = static_cast<std::size_t>(step[1] - '0');
            ASSERT_LT(i, c.ports);
            switch (step[0]) {
            case 'r': run.Ready(i); break;
            case 's': ASSERT_EQ(run.Start(i, &why), GangRun::Next::Board); break;
            case 'n': ASSERT_EQ(run.Start(i, &why), GangRun::Next::None); break;
            case 'u': ASSERT_EQ(run.Start(i, &why), GangRun::Next::SerialsUsedUp); break;
            case 'w':
                run.Status(i, 50);
                ASSERT_EQ(cli::StateText(run.Ports()[i]), "programming 50%");
                break;
            case 'p':
                run.Result(i, isp::kPass, false, &why);
                passed.push_back(run.Ports()[i].serial.number);
                break;
            case 'f': run.Result(i, isp::kEraseError, false, &why); break;
            case 'k': run.Result(i, isp::kStop, false, &why); break;
            case 'l': run.Result(i, isp::kNotFindDevice, true, &why); break;
            case 'd': run.WorkerEnded(i, 1, &why); break;
            case 'x': run.WorkerEnded(i, 5, &why); break;
            case 'v': ASSERT_TRUE(run.Revive(i)); break;
            default: FAIL() << "bad step";
            }
        }
        EXPECT_TRUE(run.Done());
        if (c.serialStart != 0) {
            EXPECT_EQ(passed, c.passedSerials);
        }
        std::string states;
        for (const cli::GangPort& p : run.Ports()) states += (states.empty() ? "" : "|") + cli::StateText(p);
        EXPECT_EQ(states, c.states);
        EXPECT_EQ(run.ExitCode(), c.exitCode);
        EXPECT_EQ(run.PassedBoards(), passed.size());
    }
}

// The table's columns stay aligned whatever the rows hold, and the total
// line counts the gang's passed boards per hour.
TEST(GangRun, TableRowsLineUpAndTheTotalCountsBoardsPerHour) {
    cli::SerialBook book(99998, 1, 4);
    GangRun run({"COM3", "COM12"}, Repeat(3), &book);
    std::string why;
    run.Ready(0);
    run.Ready(1);
    run.Start(0, &why);
    run.Start(1, &why);
    run.Result(0, isp::kPass, false, &why);
    run.Start(0, &why);
    run.Status(0, 7);
    run.Result(1, isp::kPass, false, &why);
    const std::vector<std::string> lines = cli::GangTable(run, 60);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "port  state                 passed  failed last serial");
    EXPECT_EQ(lines[1], "COM3  programming 7%             1       0 99998");
    EXPECT_EQ(lines[2], "COM12 passed                     1       0 99999");
    EXPECT_EQ(lines[3], "total                            2       0 120.0 boards per hour");
}

}  // namespace
