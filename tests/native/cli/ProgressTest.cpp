// What the console shows from the status word while a board runs.
#include "cli/Progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Progress, StatusWordPhases) {
    EXPECT_EQ(cli::PhaseOf(0xFFFF), cli::Phase::Waiting);
    EXPECT_EQ(cli::PhaseOf(0), cli::Phase::Working);
    EXPECT_EQ(cli::PhaseOf(100), cli::Phase::Working);
    EXPECT_EQ(cli::PhaseOf(101), cli::Phase::Unknown);
    EXPECT_EQ(cli::PhaseOf(102), cli::Phase::Unknown);
}

TEST(Progress, BarFillsWithThePercentAndNeverOverflows) {
    EXPECT_EQ(cli::ProgressBar(0, 10), "[----------]   0%");
    EXPECT_EQ(cli::ProgressBar(55, 10), "[#####-----]  55%");
    EXPECT_EQ(cli::ProgressBar(100, 10), "[##########] 100%");
    EXPECT_EQ(cli::ProgressBar(250, 10), "[##########] 100%");
    EXPECT_NE(cli::WaitingLine("p", 0), cli::WaitingLine("p", 1));
}

TEST(Progress, PlainLinesAreFewAndOrdered) {
    // Statuses as a poller may see them: waiting, a repeated value, steps
    // smaller than the line step, an unknown value, a late wait.
    const std::vector<std::uint16_t> seen = {0xFFFF, 0xFFFF, 0, 3, 5, 5, 12, 14, 16, 27, 102, 95, 99, 100, 100};
    cli::ProgressLines lines(10);
    std::vector<std::string> printed;
    for (std::uint16_t s : seen) {
        const std::string line = lines.Next(s, "wait");
        if (!line.empty()) printed.push_back(line);
    }
    const std::vector<std::string> want = {"wait",         "progress 0%",  "progress 12%",
                                           "progress 27%", "progress 95%", "progress 100%"};
    EXPECT_EQ(printed, want);
    lines.Restart();
    EXPECT_EQ(lines.Next(0xFFFF, "wait"), "wait");
    EXPECT_EQ(lines.Next(3, "wait"), "progress 3%");
}

}  // namespace
