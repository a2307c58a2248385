#include "cli/RunDisplay.h"

namespace cli {
namespace {

class BoardDisplay final : public RunDisplay {
public:
    explicit BoardDisplay(ProgressMode mode) : display_(mode, Err()) {}

    void BoardStarted(std::size_t) override { display_.Start(); }
    void Show(const GangRun& run, const std::vector<std::uint16_t>& status, double) override {
        if (!run.Ports().empty() && run.Ports()[0].busy) display_.Show(status[0]);
    }
    void Clear() override { display_.Clear(); }

private:
    ProgressDisplay display_;
};

class GangDisplay final : public RunDisplay {
public:
    explicit GangDisplay(ProgressMode mode) : handle_(::GetStdHandle(STD_ERROR_HANDLE)) {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        const bool console = Err().IsConsole() && ::GetConsoleScreenBufferInfo(handle_, &info);
        kind_ = mode == ProgressMode::None ? Kind::None : console ? Kind::Table : Kind::Lines;
    }
    ~GangDisplay() override { Clear(); }
    GangDisplay(const GangDisplay&) = delete;
    GangDisplay& operator=(const GangDisplay&) = delete;

    void BoardStarted(std::size_t) override {}

    void Show(const GangRun& run, const std::vector<std::uint16_t>&, double seconds) override {
        if (kind_ == Kind::Lines) {
            ShowLines(run);
            return;
        }
        if (kind_ != Kind::Table) return;
        const DWORD now = ::GetTickCount();
        std::vector<std::string> lines = GangTable(run, seconds);
        if (lines == drawn_ || (!drawn_.empty() && now - lastTick_ < 200)) return;
        lastTick_ = now;
        Draw(lines);
    }

    void Clear() override {
        if (kind_ != Kind::Table || drawn_.empty()) return;
        Home();
        std::string blank;
        for (const std::string& line : drawn_) blank += std::string(line.size(), ' ') + "\n";
        Err().Write(blank);
        Home();
        drawn_.clear();
    }

private:
    enum class Kind { Table, Lines, None };

    void Home() {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!::GetConsoleScreenBufferInfo(handle_, &info)) return;
        COORD at{0, top_};
        ::SetConsoleCursorPosition(handle_, at);
    }

    void Draw(const std::vector<std::string>& lines) {
        if (!drawn_.empty()) Home();
        std::string text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string line = lines[i];
            // Over a longer old row, blanks rub out its tail.
            if (i < drawn_.size() && drawn_[i].size() > line.size()) line.append(drawn_[i].size() - line.size(), ' ');
            text += line + "\n";
        }
        Err().Write(text);
        // The console may have scrolled: the table now ends at the cursor.
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (::GetConsoleScreenBufferInfo(handle_, &info))
            top_ = static_cast<SHORT>(info.dwCursorPosition.Y - static_cast<SHORT>(lines.size()));
        drawn_ = lines;
    }

    void ShowLines(const GangRun& run) {
        const std::vector<GangPort>& ports = run.Ports();
        shownRows_.resize(ports.size());
        for (std::size_t i = 0; i < ports.size(); ++i) {
            GangPort p = ports[i];
            p.percent = p.percent / 10 * 10;
            const std::string row = p.name + "  " + StateText(p);
            if (row == shownRows_[i]) continue;
            shownRows_[i] = row;
            Err().Line(row);
        }
    }

    HANDLE handle_;
    Kind kind_;
    std::vector<std::string> drawn_, shownRows_;
    SHORT top_ = 0;
    DWORD lastTick_ = 0;
};

}  // namespace

std::unique_ptr<RunDisplay> MakeBoardDisplay(ProgressMode mode) { return std::make_unique<BoardDisplay>(mode); }

std::unique_ptr<RunDisplay> MakeGangDisplay(ProgressMode mode) { return std::make_unique<GangDisplay>(mode); }

}  // namespace cli
