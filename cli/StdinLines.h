// The standard input read line by line on a thread of its own, so that the
// main loop never waits for it: a gang's worker takes its parent's messages
// this way, and a run under --control its driving program's commands.
#pragma once

#include <windows.h>

#include <deque>
#include <mutex>
#include <string>

#include "framework/Handles.h"

namespace cli {

class StdinLines {
public:
    // The one reader of the process's standard input. It lives as long as
    // the process, as its thread does: that stays blocked in its read until
    // the input ends and is never waited for.
    static StdinLines& Instance();
    StdinLines(const StdinLines&) = delete;
    StdinLines& operator=(const StdinLines&) = delete;

    // False when the reader thread could not be started.
    bool Started() const { return started_; }
    // The next whole line, if one arrived. closed: the input has ended.
    bool Next(std::string* line, bool* closed);
    // Set whenever a line arrives or the input ends (auto-reset).
    HANDLE Arrived() const { return arrived_.get(); }

private:
    StdinLines();
    ~StdinLines() = default;
    static DWORD WINAPI Read(void* context);

    std::mutex lock_;
    std::deque<std::string> lines_;
    bool closed_ = false;
    bool started_ = false;
    UniqueHandle arrived_;
    UniqueHandle thread_;
};

}  // namespace cli
