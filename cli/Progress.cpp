#include "cli/Progress.h"

namespace cli {

Phase PhaseOf(std::uint16_t status) {
    if (status == 0xFFFF) return Phase::Waiting;
    if (status <= 100) return Phase::Working;
    return Phase::Unknown;
}

std::string ProgressBar(unsigned percent, unsigned width) {
    if (percent > 100) percent = 100;
    const unsigned filled = percent * width / 100;
    std::string s = "[";
    s.append(filled, '#');
    s.append(width - filled, '-');
    s += "] ";
    const std::string p = std::to_string(percent);
    s.append(3 - p.size(), ' ');
    s += p + "%";
    return s;
}

std::string WaitingLine(const std::string& prompt, unsigned tick) {
    static const char kMarks[] = {'|', '/', '-', '\\'};
    return prompt + " " + kMarks[tick % 4];
}

std::string ProgressLines::Next(std::uint16_t status, const std::string& prompt) {
    switch (PhaseOf(status)) {
    case Phase::Waiting:
        if (waitingShown_) return {};
        waitingShown_ = true;
        return prompt;
    case Phase::Working: {
        waitingShown_ = false;
        const int p = status;
        if (p <= lastPercent_) return {};
        if (lastPercent_ >= 0 && p != 100 && p - lastPercent_ < static_cast<int>(step_)) return {};
        lastPercent_ = p;
        return "progress " + std::to_string(p) + "%";
    }
    case Phase::Unknown: break;
    }
    return {};
}

}  // namespace cli
