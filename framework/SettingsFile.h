// Setting.ini beside the executable, section "Setting", read and written key
// by key.
#pragma once

#include <windows.h>

#include <string>

class SettingsFile {
public:
    explicit SettingsFile(const std::wstring& exeFolder);

    // The file as the user knows it (never the "\\?\" form).
    const std::wstring& Path() const { return m_path; }

    int ReadInt(const wchar_t* key, int defaultValue) const;
    // The whole value, however long, up to the longest path Windows knows
    // (32766 characters). A longer value reads as defaultValue: a cut copy
    // would be another value, and another folder when written back.
    std::wstring ReadString(const wchar_t* key, const wchar_t* defaultValue) const;

    // false when the value could not be saved; LastError() then tells why.
    bool WriteInt(const wchar_t* key, int value) const;
    bool WriteString(const wchar_t* key, const std::wstring& value) const;
    // GetLastError of the last access that failed.
    DWORD LastError() const { return m_lastError; }

private:
    // The profile functions write ANSI text unless the file already starts
    // with a UTF-16 byte-order mark; a missing file is therefore created as
    // UTF-16LE so that folder names outside the ANSI code page survive.
    void EnsureUnicodeFile() const;

    // For a path past MAX_PATH - 1 characters, which the profile functions
    // do not take (under Wine they even report such a write as done and save
    // nothing), the file is read and written here through its long form.
    bool ReadOwn(std::wstring* text) const;
    bool WriteOwn(const wchar_t* key, const std::wstring& value) const;

    std::wstring m_path;
    std::wstring m_apiPath;  // m_path in the form the file functions take
    bool m_ownAccess;
    mutable DWORD m_lastError = 0;
};

// Tells the user that the settings could not be saved to settings' file,
// with the system's reason, in `language`. Once in a run: the first failed
// write says it, later ones are quiet, since the same fault fails every key.
void ReportSettingsNotSaved(HWND owner, const SettingsFile& settings, int language);
