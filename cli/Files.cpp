#include "cli/Files.h"

#include "cli/ImageBuffer.h"

#include <algorithm>
#include <new>

namespace cli {

std::wstring SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n != 0 && buffer != nullptr) text.assign(buffer, n);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) text = L"system error " + std::to_wstring(error);
    return text;
}

FileBytes ReadFirmwareFile(const std::wstring& path, bool isHex, std::uint32_t capacity, std::uint32_t insertOffset) {
    FileBytes out;
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file) {
        out.status = ReadStatus::OpenError;
        out.error = ::GetLastError();
        return out;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        out.status = ReadStatus::ReadError;
        out.error = ::GetLastError();
        return out;
    }
    const auto length = static_cast<std::uint64_t>(size.QuadPart);
    if (TooLargeBeforeReading(isHex, length, capacity, insertOffset)) {
        out.status = ReadStatus::TooLarge;
        return out;
    }
    // A HEX text has no bound of its own; one this process cannot hold in
    // memory is too large for any part.
    if (length > 0x7FFFFFFFu) {
        out.status = ReadStatus::TooLarge;
        return out;
    }
    try {
        out.bytes.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        out.status = ReadStatus::TooLarge;
        return out;
    }
    std::size_t done = 0;
    while (done < out.bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.bytes.size() - done, 1u << 20));
        if (!::ReadFile(file.get(), out.bytes.data() + done, want, &got, nullptr)) {
            out.status = ReadStatus::ReadError;
            out.error = ::GetLastError();
            out.bytes.clear();
            return out;
        }
        if (got == 0) break;  // the file shrank under us: take what is there
        done += got;
    }
    out.bytes.resize(done);
    return out;
}

std::wstring WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file) return SystemMessage(::GetLastError());
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!::WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr) || wrote == 0)
            return SystemMessage(::GetLastError());
        done += wrote;
    }
    return L"";
}

bool CsvLog::Open(const std::wstring& path, const std::string& header, std::wstring* error) {
    // Append access: every write lands at the end, also when another run
    // appends to the same log. Readers may look at it meanwhile.
    file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        *error = SystemMessage(::GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_.get(), &size)) {
        *error = SystemMessage(::GetLastError());
        file_.reset();
        return false;
    }
    if (size.QuadPart == 0 && !Append(header, error)) {
        file_.reset();
        return false;
    }
    return true;
}

bool CsvLog::Append(const std::string& line, std::wstring* error) {
    const std::string bytes = line + "\r\n";
    DWORD wrote = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) ||
        wrote != bytes.size()) {
        *error = SystemMessage(::GetLastError());
        return false;
    }
    if (!::FlushFileBuffers(file_.get())) {
        *error = SystemMessage(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace cli
