#include "framework/SystemLibrary.h"

#include "framework/Handles.h"

#include <map>
#include <mutex>
#include <string>

namespace syslib {

FARPROC Function(const wchar_t* library, const char* name) {
    // One owner for the libraries loaded here; they are freed when the
    // program ends, after every thread that used them has been joined.
    static std::mutex lock;
    static std::map<std::wstring, UniqueModule> loaded;
    std::lock_guard<std::mutex> hold(lock);
    UniqueModule& module = loaded[library];
    if (!module) module.reset(::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    return module ? ::GetProcAddress(module.get(), name) : nullptr;
}

}  // namespace syslib
