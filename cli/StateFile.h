// The serial state file on disk: opened without sharing, so that a second
// programmer naming the same file is refused while the first runs (Windows
// releases it when the holder ends, even by a crash); every line written
// through to the disk before Append returns.
#pragma once

#include <windows.h>

#include <string>

#include "cli/SerialBook.h"
#include "framework/Handles.h"

namespace cli {

class StateFile : public JournalSink {
public:
    enum class Opened { Ok, Busy, Error };
    // Opens or creates path. *content: what it held ("" for a new or empty
    // file). *why on Busy and Error.
    Opened Open(const std::wstring& path, std::string* content, std::wstring* why);
    bool Append(const std::string& line, std::string* why) override;

private:
    UniqueHandle file_;
};

}  // namespace cli
