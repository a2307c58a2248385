// Functions of system libraries bound on their first use instead of when the
// program starts. Each library a program imports is loaded and initialised
// before its first line runs; the file dialogs and the version check's
// download (and the COM they bring along) are needed only by a later
// command, so the window comes up without waiting for them.
#pragma once

#include <windows.h>

namespace syslib {

// The function `name` of the system library `library` ("urlmon.dll"),
// loaded from the system folder only, never from the program's own or the
// current folder. Null when the library or the function is missing. A
// library stays loaded until the program ends.
FARPROC Function(const wchar_t* library, const char* name);

// The same, typed: Bind<decltype(&::GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW").
template <typename Fn>
Fn Bind(const wchar_t* library, const char* name) {
    // Casting through a generic function pointer type keeps the compilers'
    // function-type warnings quiet; the caller names the real type.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(Function(library, name)));
}

}  // namespace syslib
