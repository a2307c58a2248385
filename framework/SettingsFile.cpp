#include "framework/SettingsFile.h"

#include "framework/Handles.h"

#include <windows.h>

#include <vector>

namespace {
const wchar_t kSection[] = L"Setting";
}

int SettingsFile::ReadInt(const wchar_t* key, int defaultValue) const {
    return static_cast<int>(::GetPrivateProfileIntW(kSection, key, defaultValue, m_path.c_str()));
}

std::wstring SettingsFile::ReadString(const wchar_t* key, const wchar_t* defaultValue, unsigned maxChars) const {
    std::vector<wchar_t> buffer(maxChars ? maxChars : 1);
    DWORD n = ::GetPrivateProfileStringW(kSection, key, defaultValue, buffer.data(), static_cast<DWORD>(buffer.size()),
                                         m_path.c_str());
    return std::wstring(buffer.data(), n);
}

void SettingsFile::WriteInt(const wchar_t* key, int value) const {
    WriteString(key, std::to_wstring(value));
}

void SettingsFile::WriteString(const wchar_t* key, const std::wstring& value) const {
    EnsureUnicodeFile();
    ::WritePrivateProfileStringW(kSection, key, value.c_str(), m_path.c_str());
}

void SettingsFile::EnsureUnicodeFile() const {
    // CREATE_NEW: an existing file, in whatever encoding, is left alone.
    UniqueHandle file(::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file.valid()) return;
    static const unsigned char kBom[] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(file.get(), kBom, sizeof kBom, &written, nullptr);
}
