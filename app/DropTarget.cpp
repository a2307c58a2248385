#include "app/DropTarget.h"

#include "framework/Handles.h"
#include "framework/LongPath.h"
#include "project/Project.h"

#include <string_view>

namespace drop {

namespace {

// Finishes a drop however the reading of it ends.
class DropGuard {
public:
    explicit DropGuard(HDROP drop) : m_drop(drop) {}
    ~DropGuard() {
        if (m_drop) ::DragFinish(m_drop);
    }
    DropGuard(const DropGuard&) = delete;
    DropGuard& operator=(const DropGuard&) = delete;

private:
    HDROP m_drop;
};

// Frees what CommandLineToArgvW allocated.
class ArgvGuard {
public:
    explicit ArgvGuard(wchar_t** argv) : m_argv(argv) {}
    ~ArgvGuard() {
        if (m_argv) ::LocalFree(m_argv);
    }
    ArgvGuard(const ArgvGuard&) = delete;
    ArgvGuard& operator=(const ArgvGuard&) = delete;

private:
    wchar_t** m_argv;
};

}  // namespace

std::vector<std::wstring> TakeDroppedFiles(HDROP drop) {
    DropGuard guard(drop);
    std::vector<std::wstring> files;
    if (!drop) return files;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // Sized by the drop's own answer: a dropped path may be far longer
        // than MAX_PATH.
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::wstring path(length + 1, L'\0');
        const UINT got = ::DragQueryFileW(drop, i, &path[0], length + 1);
        if (got == 0) continue;
        path.resize(got < length ? got : length);
        files.push_back(path);
    }
    return files;
}

std::wstring FullPath(const std::wstring& path) {
    if (path.empty()) return path;
    // The answer is the size needed, NUL included; a current folder changed
    // by another thread in between can ask for more, so try again then.
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    for (int attempt = 0; attempt < 3 && size != 0; ++attempt) {
        std::wstring full(size, L'\0');
        const DWORD got = ::GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
        if (got == 0) break;
        if (got < size) {
            full.resize(got);
            return full;
        }
        size = got;
    }
    return path;
}

bool IsProjectFile(const std::wstring& path) {
    // Other programs may go on reading and writing it: only a look at its
    // start.
    UniqueHandle file(::CreateFileW(paths::ForApi(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char head[4096];
    DWORD got = 0;
    if (!::ReadFile(file.get(), head, sizeof head, &got, nullptr)) return false;
    return project::LooksLikeProject(std::string_view(head, got));
}

std::vector<std::wstring> CommandLineFiles(const wchar_t* commandLine) {
    std::vector<std::wstring> files;
    // An empty line makes CommandLineToArgvW report the program's own path.
    if (!commandLine || !*commandLine) return files;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(commandLine, &argc);
    ArgvGuard guard(argv);
    if (!argv) return files;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] && *argv[i]) files.push_back(FullPath(argv[i]));
    }
    return files;
}

}  // namespace drop
