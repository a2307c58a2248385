#include "isp/LibraryBinding.h"

#include "framework/LongPath.h"

#include <utility>
#include <vector>

namespace isp {

namespace {
// GetProcAddress returns a generic FARPROC; each operation has its own type.
template <class Fn>
bool Resolve(HMODULE module, const char* name, Fn* out, std::wstring* missing) {
    FARPROC p = ::GetProcAddress(module, name);
    if (!p) {
        if (!missing->empty()) *missing += L", ";
        *missing += std::wstring(name, name + std::char_traits<char>::length(name));
        return false;
    }
    *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
    return true;
}

bool FileIsThere(const std::wstring& apiPath) {
    if (::GetFileAttributesW(apiPath.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = ::GetLastError();
    // Any other failure (access denied, say) does not show that it is gone.
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}
}  // namespace

bool TarvelDll::Load(const std::wstring& folder, LoadFailure* failure) {
    *failure = LoadFailure{};
    const std::wstring path = folder + L"Tarvel_DLL.dll";
    const std::wstring apiPath = paths::ForApi(path);
    // An absolute path (in the long form past MAX_PATH) with the altered
    // search order: the library's own dependencies are looked up beside it
    // first.
    UniqueModule module(::LoadLibraryExW(apiPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) {
        // The loader says "module not found" both for a missing file and for
        // a library whose own dependency is missing: look at the file.
        const DWORD error = ::GetLastError();
        failure->path = path;
        if (FileIsThere(apiPath)) {
            failure->kind = LoadFailure::kNotLoadable;
            failure->systemError = error;
        } else {
            failure->kind = LoadFailure::kFileMissing;
        }
        return false;
    }
    std::wstring& missing = failure->operations;
    bool ok = Resolve(module.get(), "GetBodyInfo", &m_getBodyInfo, &missing);
    ok = Resolve(module.get(), "GetDLLInfo", &m_getDllInfo, &missing) && ok;
    ok = Resolve(module.get(), "OpenPort", &m_openPort, &missing) && ok;
    ok = Resolve(module.get(), "ClosePort", &m_closePort, &missing) && ok;
    ok = Resolve(module.get(), "UpdateMCU", &m_updateMcu, &missing) && ok;
    ok = Resolve(module.get(), "DumpInfo", &m_dumpInfo, &missing) && ok;
    if (!ok) {
        m_getBodyInfo = nullptr;
        m_getDllInfo = nullptr;
        m_openPort = m_closePort = m_updateMcu = m_dumpInfo = nullptr;
        failure->kind = LoadFailure::kOperationsMissing;
        failure->path = path;
        return false;
    }
    m_module = std::move(module);
    return true;
}

bool TarvelDll::Load(const std::wstring& folder, std::wstring* missing) {
    LoadFailure failure;
    const bool loaded = Load(folder, &failure);
    *missing =
        failure.kind == LoadFailure::kOperationsMissing ? L"Tarvel_DLL.dll: " + failure.operations : failure.path;
    return loaded;
}

std::uint32_t TarvelDll::Version() const {
    std::uint32_t version = 0;
    std::int32_t edition = 0;
    if (m_getDllInfo) m_getDllInfo(&version, &edition);
    return version;
}

TarvelDll& Library() {
    static TarvelDll library;
    return library;
}

std::wstring ModuleFolder(HMODULE module) {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            std::wstring full(path.data(), n);
            return full.substr(0, full.find_last_of(L'\\') + 1);
        }
        path.resize(path.size() * 2);  // a path longer than MAX_PATH
    }
}

}  // namespace isp
