#include "buffers/FileDialog.h"

#include "framework/SystemLibrary.h"

#include <commdlg.h>

#include <type_traits>
#include <vector>

std::optional<ChosenFile> AskForFile(HWND owner, FileDialogKind kind, const wchar_t* filter,
                                     const std::wstring& lastFolder, const wchar_t* defaultExtension) {
    // A buffer as large as the longest path the system takes.
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = lastFolder.empty() ? nullptr : lastFolder.c_str();
    ofn.lpstrDefExt = defaultExtension;
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (kind == FileDialogKind::Save) ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    // The file dialogs' library is loaded when a dialog is first wanted.
    using Show = decltype(&::GetOpenFileNameW);
    static_assert(std::is_same_v<Show, decltype(&::GetSaveFileNameW)>, "both dialogs take the same record");
    static const Show open = syslib::Bind<Show>(L"comdlg32.dll", "GetOpenFileNameW");
    static const Show save = syslib::Bind<Show>(L"comdlg32.dll", "GetSaveFileNameW");
    const Show show = kind == FileDialogKind::Save ? save : open;
    if (!show || !show(&ofn)) return std::nullopt;
    return ChosenFile{std::wstring(file.data()), ofn.nFilterIndex};
}

std::wstring FilterText(std::initializer_list<FileFilter> filters, int language) {
    std::wstring text;
    for (const FileFilter& f : filters) {
        text += LangText(f.name, language);
        text += L'\0';
        text += f.patterns;
        text += L'\0';
    }
    // The final NUL of the list; c_str() adds the string's own after it.
    return text;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}
