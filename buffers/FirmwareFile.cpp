#include "buffers/FirmwareFile.h"

#include "framework/Handles.h"

#include <algorithm>

namespace {

class WinFileSource : public image::FileSource {
public:
    explicit WinFileSource(HANDLE file) : m_file(file) {}

    bool Length(std::uint64_t& length) override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(m_file.get(), &size) || size.QuadPart < 0) return Failed();
        length = static_cast<std::uint64_t>(size.QuadPart);
        return true;
    }

    bool Read(std::uint8_t* into, std::size_t count, std::size_t& got) override {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 24));
        if (!::ReadFile(m_file.get(), into, want, &n, nullptr)) return Failed();
        got = n;
        return true;
    }

    std::uint32_t LastError() const override { return m_error; }

private:
    bool Failed() {
        m_error = ::GetLastError();
        return false;
    }

    UniqueHandle m_file;
    std::uint32_t m_error = 0;
};

// Removes the temporary file unless it was moved into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::wstring path) : m_path(std::move(path)) {}
    ~TemporaryFile() {
        if (!m_kept) ::DeleteFileW(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::wstring& Path() const { return m_path; }
    void Keep() { m_kept = true; }

private:
    std::wstring m_path;
    bool m_kept = false;
};

}  // namespace

std::unique_ptr<image::FileSource> WinFileOpener::Open(std::wstring_view path, std::uint32_t& error) {
    const std::wstring name(path);
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<WinFileSource>(file);
}

DWORD WriteFileReplacing(const std::wstring& path, const void* bytes, std::size_t length) {
    // The temporary file sits beside the target, so the final move stays on
    // one volume and is a rename, not a copy. CREATE_NEW never takes over a
    // file of another writer; a few names are tried before giving up.
    // Windows does not replace a read-only file (nor a folder); the test
    // comes first so that such a save costs no writing, and it holds as well
    // on file systems whose rename would ignore the attribute.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return ERROR_ACCESS_DENIED;

    UniqueHandle file;
    std::wstring temporary;
    DWORD error = ERROR_SUCCESS;
    for (unsigned attempt = 0; attempt < 16 && !file; ++attempt) {
        temporary = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
        file.reset(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
        if (!file) {
            error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
        }
    }
    if (!file) return error;
    TemporaryFile guard(temporary);

    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 24));
        if (!::WriteFile(file.get(), p + done, want, &wrote, nullptr)) return ::GetLastError();
        if (wrote == 0) return ERROR_WRITE_FAULT;
        done += wrote;
    }
    // The data must be on the disk before the name points at it, or a power
    // cut could leave the new name on an empty file.
    if (!::FlushFileBuffers(file.get())) return ::GetLastError();
    file.reset();
    if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ::GetLastError();
    guard.Keep();
    return ERROR_SUCCESS;
}
