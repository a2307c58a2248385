// Setting.ini beside the executable, section "Setting", read and written key
// by key through the profile functions. It sits below app/ so that the
// windows of the lower folders (the about box) keep the same file in the same
// encoding as the main window.
#pragma once

#include <string>

class SettingsFile {
public:
    explicit SettingsFile(const std::wstring& exeFolder) : m_path(exeFolder + L"Setting.ini") {}

    const std::wstring& Path() const { return m_path; }

    int ReadInt(const wchar_t* key, int defaultValue) const;
    // Reads at most maxChars - 1 characters.
    std::wstring ReadString(const wchar_t* key, const wchar_t* defaultValue, unsigned maxChars = 256) const;
    void WriteInt(const wchar_t* key, int value) const;
    void WriteString(const wchar_t* key, const std::wstring& value) const;

private:
    // The profile functions write ANSI text unless the file already starts
    // with a UTF-16 byte-order mark; a missing file is therefore created as
    // UTF-16LE so that folder names outside the ANSI code page survive.
    void EnsureUnicodeFile() const;

    std::wstring m_path;
};
