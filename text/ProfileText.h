// The text of an initialization file ("[Section]" lines and "key=value"
// lines), read and changed the way the profile functions
// (GetPrivateProfileString, WritePrivateProfileString) do. The tool uses it
// for a Setting.ini those functions cannot reach: they take a path of at most
// MAX_PATH - 1 characters. Window-free.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace profile {

// The value of `key` in `section`, or nothing when either is missing.
// Section and key names compare without regard to ASCII case; the name of a
// key ends at its first '=' (blanks around it do not count) and a line
// without '=' is a key with an empty value. The first section and the first
// key of a name count. The value is the rest of the line without the blanks
// around it and without one pair of enclosing quotes ("..." or '...').
std::optional<std::wstring> Find(std::wstring_view text, std::wstring_view section, std::wstring_view key);

// `text` with the value of `key` in `section` set to `value`: the key's line
// becomes "key=value"; a missing key gets that line after the last line of
// its section, a missing section is added at the end. Every other line stays
// as it is, line endings included.
std::wstring Set(std::wstring_view text, std::wstring_view section, std::wstring_view key, std::wstring_view value);

// The number a value holds, as GetPrivateProfileInt reads it: leading
// blanks, an optional sign, then digits up to the first other character
// ("12ab" is 12, "ab" is 0); decimal, or hexadecimal, octal or binary behind
// "0x", "0o" or "0b". Digits past the range of a 32-bit number wrap around.
int ParseInt(std::wstring_view value);

// The text of a file that starts with a UTF-16 byte-order mark (either byte
// order), without the mark; nothing for a file without one (ANSI or UTF-8
// text, which the caller converts). An odd last byte is dropped.
std::optional<std::wstring> DecodeUtf16(std::string_view bytes);

// `text` as UTF-16LE behind a byte-order mark, the form Setting.ini is
// created in.
std::string EncodeUtf16Le(std::wstring_view text);

}  // namespace profile
