#include "cli/Console.h"

#include "cli/Records.h"
#include "cli/Text.h"
#include "text/UiText.h"

namespace cli {

Stream::Stream(DWORD which) : handle_(::GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle_, &mode) != FALSE;
}

void Stream::Write(const std::string& utf8) {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE || utf8.empty()) return;
    if (console_) {
        const std::wstring wide = Widen(utf8);
        DWORD written = 0;
        ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::string bytes;
    bytes.reserve(utf8.size() + 8);
    for (char c : utf8) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left != 0) {
        DWORD written = 0;
        if (!::WriteFile(handle_, p, static_cast<DWORD>(left), &written, nullptr) || written == 0) return;
        p += written;
        left -= written;
    }
}

Stream& Out() {
    static Stream s(STD_OUTPUT_HANDLE);
    return s;
}

Stream& Err() {
    static Stream s(STD_ERROR_HANDLE);
    return s;
}

ProgressDisplay::ProgressDisplay(ProgressMode mode, Stream& err) : err_(err) {
    switch (mode) {
    case ProgressMode::Auto: kind_ = err.IsConsole() ? Kind::Bar : Kind::None; break;
    case ProgressMode::Lines: kind_ = err.IsConsole() ? Kind::Bar : Kind::Lines; break;
    case ProgressMode::None: kind_ = Kind::None; break;
    }
}

void ProgressDisplay::Start() {
    lines_.Restart();
    shown_.clear();
    lastTick_ = 0;
}

void ProgressDisplay::Show(std::uint16_t status) {
    const std::string prompt = Utf8(LangText(texts::kRepowerPrompt, 0));
    if (kind_ == Kind::Lines) {
        const std::string line = lines_.Next(status, prompt);
        if (!line.empty()) err_.Line(line);
        return;
    }
    if (kind_ != Kind::Bar) return;
    std::string text;
    switch (PhaseOf(status)) {
    case Phase::Waiting: {
        // The mark turns four times a second however often we are called.
        const DWORD now = ::GetTickCount();
        if (lastTick_ == 0 || now - lastTick_ >= 250) {
            ++spin_;
            lastTick_ = now;
        }
        text = WaitingLine(prompt, spin_);
        break;
    }
    case Phase::Working: text = ProgressBar(status, 40); break;
    case Phase::Unknown: return;
    }
    if (text == shown_) return;
    std::string line = "\r" + text;
    if (text.size() < shown_.size()) line.append(shown_.size() - text.size(), ' ');
    err_.Write(line);
    shown_ = text;
}

void ProgressDisplay::Clear() {
    if (kind_ != Kind::Bar || shown_.empty()) return;
    err_.Write("\r" + std::string(shown_.size(), ' ') + "\r");
    shown_.clear();
}

int Fail(int code, const std::wstring& message) {
    Err().Line("Tarvel_CLI: " + Utf8(message));
    return code;
}

std::string NowStamp() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    return TimeStamp(t);
}

}  // namespace cli
