// The system's open and save dialogs as the buffers use them: a path as long
// as the longest the system takes, the first filter chosen, the dialog
// starting in the folder of the last file, the current folder left alone.
#pragma once

#include "text/UiText.h"

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>

enum class FileDialogKind {
    Open,  // an existing file
    Save,  // asks before replacing a file; the folder must exist
};

struct ChosenFile {
    std::wstring path;
    DWORD filterIndex = 0;  // 1-based, as the dialog reports it
};

// One entry of a dialog's file types: its name in the window's language and
// its patterns ("*.hex;*.bin").
struct FileFilter {
    texts::TextId name;
    const wchar_t* patterns;
};
// The filters in the dialogs' double-NUL form.
std::wstring FilterText(std::initializer_list<FileFilter> filters, int language);

// Shows the dialog over owner; nothing when it was cancelled (or the
// dialogs' library is missing). filter is in the dialogs' double-NUL form.
// defaultExtension (without the dot) is added to a name typed without one,
// before the dialog asks whether to replace the file.
std::optional<ChosenFile> AskForFile(HWND owner, FileDialogKind kind, const wchar_t* filter,
                                     const std::wstring& lastFolder, const wchar_t* defaultExtension = nullptr);

// The folder part of a path, with its trailing backslash.
std::wstring FolderOf(const std::wstring& path);
