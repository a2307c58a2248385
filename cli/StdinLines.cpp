#include "cli/StdinLines.h"

namespace cli {

StdinLines& StdinLines::Instance() {
    static StdinLines* const lines = new StdinLines();  // never destroyed: its thread may still read
    return *lines;
}

StdinLines::StdinLines() : arrived_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    thread_.reset(::CreateThread(nullptr, 0, Read, this, 0, nullptr));
    started_ = thread_.valid();
}

bool StdinLines::Next(std::string* line, bool* closed) {
    std::lock_guard<std::mutex> hold(lock_);
    *closed = closed_ && lines_.empty();
    if (lines_.empty()) return false;
    *line = std::move(lines_.front());
    lines_.pop_front();
    return true;
}

DWORD WINAPI StdinLines::Read(void* context) {
    auto* self = static_cast<StdinLines*>(context);
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char chunk[512];
    DWORD got = 0;
    while (::ReadFile(in, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        pending.append(chunk, got);
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending.erase(0, end + 1);
            {
                std::lock_guard<std::mutex> hold(self->lock_);
                self->lines_.push_back(std::move(line));
            }
            ::SetEvent(self->arrived_.get());
        }
    }
    {
        std::lock_guard<std::mutex> hold(self->lock_);
        self->closed_ = true;
    }
    ::SetEvent(self->arrived_.get());
    return 0;
}

}  // namespace cli
