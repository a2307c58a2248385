// Console output of Tarvel_CLI: UTF-8 text to the standard output and error,
// written as wide text when the handle is a console (so that any code page
// shows it) and as UTF-8 with CR LF line ends when it is redirected to a
// file or pipe; and the progress display on the error output.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "cli/Arguments.h"
#include "cli/Progress.h"

namespace cli {

class Stream {
public:
    explicit Stream(DWORD which);
    bool IsConsole() const { return console_; }
    void Write(const std::string& utf8);
    void Line(const std::string& utf8) { Write(utf8 + "\n"); }

private:
    HANDLE handle_;  // owned by the process, not by us
    bool console_ = false;
};

Stream& Out();
Stream& Err();

// Prints "Tarvel_CLI: message" on the error output and gives back code, so
// that a command can end with `return Fail(kExit..., L"...")`.
int Fail(int code, const std::wstring& message);
// The local time as the records write it.
std::string NowStamp();

// The progress bar (console), plain progress lines, or nothing.
class ProgressDisplay {
public:
    ProgressDisplay(ProgressMode mode, Stream& err);
    // A new library call begins.
    void Start();
    // The status word as the main thread reads it while the call runs.
    void Show(std::uint16_t status);
    // Clears the bar before a record line is printed.
    void Clear();

private:
    enum class Kind { Bar, Lines, None };
    Kind kind_;
    Stream& err_;
    ProgressLines lines_;
    std::string shown_;
    DWORD lastTick_ = 0;
    unsigned spin_ = 0;
};

}  // namespace cli
