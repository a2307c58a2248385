#include "framework/SettingsFile.h"

#include "framework/FileRead.h"

#include "framework/Handles.h"
#include "framework/LongPath.h"
#include "framework/SystemText.h"
#include "text/ProfileText.h"
#include "text/UiText.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {
const wchar_t kSection[] = L"Setting";

// A value is read into a buffer that grows up to room for the longest path
// (32767 characters with its NUL) plus the one character that tells a whole
// value from a cut one: the profile functions fill a buffer that is too
// small to size - 1 characters without saying so.
constexpr std::size_t kFirstBuffer = 256;
constexpr std::size_t kLastBuffer = 32768;
constexpr std::size_t kMaxValueChars = kLastBuffer - 2;

// A settings file is a few lines; one past this size is not read into
// memory, as if it could not be opened.
constexpr LONGLONG kMaxOwnFileBytes = 64LL << 20;

std::wstring MultiByteText(const char* bytes, std::size_t size, UINT codePage) {
    if (size == 0) return std::wstring();
    const int n = ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), text.data(), n);
    return text;
}
}  // namespace

SettingsFile::SettingsFile(const std::wstring& exeFolder)
    : m_path(exeFolder + L"Setting.ini"),
      m_apiPath(paths::ForApi(m_path)),
      m_ownAccess(m_path.size() > paths::kMaxPlainPath) {}

int SettingsFile::ReadInt(const wchar_t* key, int defaultValue) const {
    if (!m_ownAccess) return static_cast<int>(::GetPrivateProfileIntW(kSection, key, defaultValue, m_path.c_str()));
    std::wstring text;
    if (!ReadOwn(&text)) return defaultValue;
    const std::optional<std::wstring> value = profile::Find(text, kSection, key);
    return value && !value->empty() ? profile::ParseInt(*value) : defaultValue;
}

std::wstring SettingsFile::ReadString(const wchar_t* key, const wchar_t* defaultValue) const {
    if (m_ownAccess) {
        std::wstring text;
        std::optional<std::wstring> value;
        if (ReadOwn(&text)) value = profile::Find(text, kSection, key);
        return value && value->size() <= kMaxValueChars ? *value : std::wstring(defaultValue);
    }
    std::vector<wchar_t> buffer(kFirstBuffer);
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(kSection, key, defaultValue, buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), m_path.c_str());
        if (n + 1 < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= kLastBuffer) return defaultValue;
        buffer.resize(std::min(buffer.size() * 2, kLastBuffer));
    }
}

bool SettingsFile::WriteInt(const wchar_t* key, int value) const { return WriteString(key, std::to_wstring(value)); }

bool SettingsFile::WriteString(const wchar_t* key, const std::wstring& value) const {
    if (m_ownAccess) return WriteOwn(key, value);
    EnsureUnicodeFile();
    if (::WritePrivateProfileStringW(kSection, key, value.c_str(), m_path.c_str())) return true;
    m_lastError = ::GetLastError();
    return false;
}

void SettingsFile::EnsureUnicodeFile() const {
    // CREATE_NEW: an existing file, in whatever encoding, is left alone.
    UniqueHandle file(
        ::CreateFileW(m_apiPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return;
    static const unsigned char kBom[] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(file.get(), kBom, sizeof kBom, &written, nullptr);
}

bool SettingsFile::ReadOwn(std::wstring* text) const {
    text->clear();
    UniqueHandle file(::CreateFileW(m_apiPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true;  // no file yet: no keys
        m_lastError = error;
        return false;
    }
    std::string bytes;
    if (const DWORD error = ReadToEnd(file.get(), kMaxOwnFileBytes, &bytes)) {
        m_lastError = error;
        return false;
    }
    if (std::optional<std::wstring> wide = profile::DecodeUtf16(bytes)) {
        *text = std::move(*wide);
        return true;
    }
    // Without a UTF-16 mark the profile functions read ANSI text, or UTF-8
    // behind its own mark.
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) *text = MultiByteText(bytes.data() + 3, bytes.size() - 3, CP_UTF8);
    else *text = MultiByteText(bytes.data(), bytes.size(), CP_ACP);
    return true;
}

bool SettingsFile::WriteOwn(const wchar_t* key, const std::wstring& value) const {
    // A file that cannot be read is not rewritten: its other keys would go.
    std::wstring text;
    if (!ReadOwn(&text)) return false;
    const std::string bytes = profile::EncodeUtf16Le(profile::Set(text, kSection, key, value));
    // OPEN_ALWAYS and a new end rather than CREATE_ALWAYS, which refuses a
    // hidden file; the file is rewritten whole, like the profile functions
    // do, and always as UTF-16LE.
    UniqueHandle file(
        ::CreateFileW(m_apiPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.valid() || !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        !::SetEndOfFile(file.get())) {
        m_lastError = ::GetLastError();
        return false;
    }
    if (written != bytes.size()) {
        m_lastError = ERROR_DISK_FULL;
        return false;
    }
    return true;
}

void ReportSettingsNotSaved(HWND owner, const SettingsFile& settings, int language) {
    static bool told = false;
    if (told) return;
    told = true;
    std::wstring text = std::wstring(LangText(texts::kSettingsNotSaved, language)) + L"\n" + settings.Path();
    const std::wstring reason = SystemErrorText(settings.LastError(), L"Setting.ini");
    if (!reason.empty()) text += L"\n\n" + reason;
    ::MessageBoxW(owner, text.c_str(), L"Tarvel", MB_OK | MB_ICONWARNING);
}
