#include "cli/StateFile.h"

#include "cli/Files.h"
#include "cli/Text.h"
#include "framework/FileRead.h"

namespace cli {

StateFile::Opened StateFile::Open(const std::wstring& path, std::string* content, std::wstring* why) {
    content->clear();
    file_.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            *why = L"the serial state file " + path +
                   L" is in use by another program (another Tarvel_CLI run with the same --serial-state?)";
            return Opened::Busy;
        }
        *why = L"cannot open the serial state file " + path + L": " + SystemMessage(error);
        return Opened::Error;
    }
    const DWORD error = ReadToEnd(file_.get(), 64 * 1024 * 1024, content);
    if (error == ERROR_FILE_TOO_LARGE) {
        *why = L"cannot read the serial state file " + path;
        return Opened::Error;
    }
    if (error != ERROR_SUCCESS) {
        *why = L"cannot read the serial state file " + path + L": " + SystemMessage(error);
        return Opened::Error;
    }
    return Opened::Ok;
}

bool StateFile::Append(const std::string& line, std::string* why) {
    const std::string text = line + "\n";
    LARGE_INTEGER zero{};
    DWORD written = 0;
    // FlushFileBuffers: the line is on the disk, not in a cache that a power
    // cut or a crash of the system would lose, before a board gets the value.
    if (!::SetFilePointerEx(file_.get(), zero, nullptr, FILE_END) ||
        !::WriteFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !::FlushFileBuffers(file_.get())) {
        *why = Utf8(SystemMessage(::GetLastError()));
        return false;
    }
    return true;
}

}  // namespace cli
