// Files that reach the tool without its file dialog: dropped on the main
// window (WM_DROPFILES) or named on the command line (Explorer's "Open with",
// a shortcut). Both give full paths in the order the user gave them.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace drop {

// The paths of a drop, in order. The drop is released (DragFinish) in every
// case, so a drop the caller then refuses still frees its memory.
std::vector<std::wstring> TakeDroppedFiles(HDROP drop);

// The arguments of a command line after the program's own name, each made
// absolute against the current folder (a relative path means the folder the
// tool was started in). Quoted arguments may hold blanks.
std::vector<std::wstring> CommandLineFiles(const wchar_t* commandLine);

// The full path of a path, relative ones against the current folder; the
// path itself when the system cannot make it absolute.
std::wstring FullPath(const std::wstring& path);

// Whether the file is a project file, told by its first bytes as firmware
// files are told by theirs. A file that cannot be read is none (its load
// then says why).
bool IsProjectFile(const std::wstring& path);

}  // namespace drop
