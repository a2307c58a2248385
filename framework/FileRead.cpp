#include "framework/FileRead.h"

#include "framework/Handles.h"

#include <algorithm>
#include <new>

namespace {

template <class Bytes>
DWORD ReadInto(HANDLE file, std::uint64_t limit, Bytes* bytes) {
    bytes->clear();
    LARGE_INTEGER size{}, at{}, zero{};
    if (!::GetFileSizeEx(file, &size) || !::SetFilePointerEx(file, zero, &at, FILE_CURRENT)) return ::GetLastError();
    const std::uint64_t left =
        size.QuadPart > at.QuadPart ? static_cast<std::uint64_t>(size.QuadPart - at.QuadPart) : 0;
    if (left > limit || left > bytes->max_size()) return ERROR_FILE_TOO_LARGE;
    try {
        bytes->resize(static_cast<std::size_t>(left));
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::size_t have = 0;
    while (have < bytes->size()) {
        // ReadFile counts in DWORDs: large files are read in pieces.
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes->size() - have, 1u << 24));
        DWORD got = 0;
        if (!::ReadFile(file, reinterpret_cast<char*>(&(*bytes)[0]) + have, want, &got, nullptr)) {
            const DWORD error = ::GetLastError();
            bytes->clear();
            return error;
        }
        if (got == 0) break;  // shorter than it was a moment ago
        have += got;
    }
    bytes->resize(have);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ReadToEnd(HANDLE file, std::uint64_t limit, std::string* bytes) { return ReadInto(file, limit, bytes); }

DWORD ReadToEnd(HANDLE file, std::uint64_t limit, std::vector<std::uint8_t>* bytes) {
    return ReadInto(file, limit, bytes);
}

DWORD ReadWholeFile(const std::wstring& path, std::uint64_t limit, std::vector<std::uint8_t>* bytes) {
    bytes->clear();
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError();
    return ReadToEnd(file.get(), limit, bytes);
}
