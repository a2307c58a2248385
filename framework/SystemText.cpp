#include "framework/SystemText.h"

#include <windows.h>

std::wstring SystemMessageLine(unsigned long error) {
    // Inserts are left as they are: a message may name more inserts than
    // the caller knows of, and FormatMessage would read past the arguments
    // given.
    wchar_t buffer[1024];
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                     buffer, static_cast<DWORD>(sizeof buffer / sizeof buffer[0]), nullptr);
    std::wstring text;
    for (DWORD i = 0; i < n; ++i) {
        if (buffer[i] == L'\r') continue;  // "\r\n" is one break
        text += buffer[i] == L'\n' ? L' ' : buffer[i];
    }
    while (!text.empty() && text.back() == L' ') text.pop_back();
    return text;
}

std::wstring SystemErrorText(unsigned long error, const std::wstring& insert) {
    if (error == 0) return L"";
    std::wstring text = SystemMessageLine(error);
    if (text.empty()) return L"Error " + std::to_wstring(error);
    const std::size_t at = text.find(L"%1");
    if (at != std::wstring::npos) text.replace(at, 2, insert);
    return text;
}
