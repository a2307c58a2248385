// UTF-8 and the wide strings of Windows (UTF-16; UTF-32 elsewhere), both
// ways. Window-free.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Wide to UTF-8. An unpaired surrogate becomes U+FFFD, so a broken file name
// still prints.
std::string Utf8(std::wstring_view text);
// UTF-8 to wide (texts built in UTF-8 that go to a console, a file name or a
// window); malformed bytes become U+FFFD.
std::wstring Widen(std::string_view utf8);

}  // namespace text
