#include "files/FirmwareFile.h"

#include "framework/Handles.h"
#include "framework/LongPath.h"

#include <algorithm>
#include <new>

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

    bool Seek(std::uint64_t offset) override {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(offset);
        if (!::SetFilePointerEx(m_file.get(), to, nullptr, FILE_BEGIN)) return Failed();
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

}  // namespace

std::unique_ptr<image::FileSource> WinFileOpener::Open(std::wstring_view path, std::uint32_t& error) {
    // A path past MAX_PATH (a drop or a command line can give one) opens in
    // its long form.
    const std::wstring name = m_longPaths ? paths::ForApi(std::wstring(path)) : std::wstring(path);
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<WinFileSource>(file);
}

ReplacingFile::~ReplacingFile() {
    if (m_temporary.empty() || m_committed) return;
    m_file.reset();
    ::DeleteFileW(m_temporary.c_str());
}

DWORD ReplacingFile::Open(const std::wstring& path) {
    // Windows does not replace a read-only file (nor a folder); the test
    // comes first so that such a save costs no writing, and it holds as well
    // on file systems whose rename would ignore the attribute.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return ERROR_ACCESS_DENIED;

    // The temporary file sits beside the target, so the final move stays on
    // one volume and is a rename, not a copy. CREATE_NEW never takes over a
    // file of another writer; a few names are tried before giving up.
    DWORD error = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::wstring name =
            path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
        m_file.reset(
            ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file) {
            m_path = path;
            m_temporary = name;
            return ERROR_SUCCESS;
        }
        error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return error;
}

DWORD ReplacingFile::Write(const void* bytes, std::size_t length) {
    if (!m_file) return ERROR_INVALID_HANDLE;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 24));
        if (!::WriteFile(m_file.get(), p + done, want, &wrote, nullptr)) return ::GetLastError();
        if (wrote == 0) return ERROR_WRITE_FAULT;
        done += wrote;
    }
    return ERROR_SUCCESS;
}

DWORD ReplacingFile::Commit() {
    if (!m_file) return ERROR_INVALID_HANDLE;
    // The data must be on the disk before the name points at it, or a power
    // cut could leave the new name on an empty file.
    if (!::FlushFileBuffers(m_file.get())) return ::GetLastError();
    m_file.reset();
    if (!::MoveFileExW(m_temporary.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ::GetLastError();
    m_committed = true;
    return ERROR_SUCCESS;
}

DWORD WriteFileReplacing(const std::wstring& path, const void* bytes, std::size_t length) {
    ReplacingFile file;
    if (const DWORD error = file.Open(path)) return error;
    if (const DWORD error = file.Write(bytes, length)) return error;
    return file.Commit();
}

DWORD WriteImageFile(const std::wstring& path, image::FileFormat format, const std::uint8_t* bytes,
                     std::size_t length) {
    ReplacingFile file;
    if (const DWORD error = file.Open(path)) return error;
    DWORD error = ERROR_SUCCESS;
    try {
        image::EncodeImageInBlocks(format, bytes, length, [&](const char* text, std::size_t n) {
            error = file.Write(text, n);
            return error == ERROR_SUCCESS;
        });
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != ERROR_SUCCESS) return error;
    return file.Commit();
}
