// What the console shows while the library works on a board, from the
// status word alone. Window-free.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// The status word as the window reads it: 0xFFFF while the library waits for
// a target to answer, 0..100 while it programs; anything else carries no
// news (the display stays as it is).
enum class Phase { Waiting, Working, Unknown };
Phase PhaseOf(std::uint16_t status);

// "[##########----------]  50%": `width` cells, a cell filled per
// 100 / width percent.
std::string ProgressBar(unsigned percent, unsigned width);

// The re-power prompt with a turning mark, one step per tick, so that an
// operator sees the program is alive while it waits for a board.
std::string WaitingLine(const std::string& prompt, unsigned tick);

// Decides which plain progress lines to print when the output is not a
// console: the prompt once per waiting spell, and progress whenever it has
// moved on by `step` percent or reached 100, never going backwards.
class ProgressLines {
public:
    explicit ProgressLines(unsigned step = 10) : step_(step) {}
    void Restart() {
        waitingShown_ = false;
        lastPercent_ = -1;
    }
    // The line to print for this status word, or empty for none.
    std::string Next(std::uint16_t status, const std::string& prompt);

private:
    unsigned step_;
    bool waitingShown_ = false;
    int lastPercent_ = -1;
};

}  // namespace cli
