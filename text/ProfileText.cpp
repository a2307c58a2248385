#include "text/ProfileText.h"

#include "text/Numbers.h"

#include <cstdint>
#include <vector>

namespace profile {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f'; }

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// One line of the text: [begin, end) without its line break.
struct Line {
    std::size_t begin;
    std::size_t end;
};

std::vector<Line> SplitLines(std::wstring_view text) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find(L'\n', begin);
        if (end == std::wstring_view::npos) {
            lines.push_back({begin, text.size()});
            break;
        }
        lines.push_back({begin, end > begin && text[end - 1] == L'\r' ? end - 1 : end});
        begin = end + 1;
    }
    return lines;
}

// The section a "[name]" line opens: the text between '[' and the last ']'.
// A '[' line without ']' opens none.
std::optional<std::wstring_view> SectionName(std::wstring_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != L'[') return std::nullopt;
    const std::size_t close = line.rfind(L']');
    if (close == std::wstring_view::npos) return std::nullopt;
    return line.substr(1, close - 1);
}

std::wstring_view KeyName(std::wstring_view line) {
    line = Trim(line);
    return Trim(line.substr(0, line.find(L'=')));
}

// The lines of the first section of that name: [first, last) indices into
// lines, first being the line after the section's "[name]" line.
struct SectionRange {
    std::size_t header;
    std::size_t first;
    std::size_t last;
};

std::optional<SectionRange> FindSection(std::wstring_view text, const std::vector<Line>& lines,
                                        std::wstring_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
        if (!name || !SameName(*name, section)) continue;
        std::size_t j = i + 1;
        while (j < lines.size() && !SectionName(text.substr(lines[j].begin, lines[j].end - lines[j].begin))) ++j;
        return SectionRange{i, i + 1, j};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(std::wstring_view text, const std::vector<Line>& lines, const SectionRange& range,
                                   std::wstring_view key) {
    for (std::size_t i = range.first; i < range.last; ++i) {
        const std::wstring_view line = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (!Trim(line).empty() && SameName(KeyName(line), key)) return i;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> Find(std::wstring_view text, std::wstring_view section, std::wstring_view key) {
    const std::vector<Line> lines = SplitLines(text);
    const auto range = FindSection(text, lines, section);
    if (!range) return std::nullopt;
    const auto at = FindKey(text, lines, *range, key);
    if (!at) return std::nullopt;
    const std::wstring_view line = text.substr(lines[*at].begin, lines[*at].end - lines[*at].begin);
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) return std::wstring();
    std::wstring_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::wstring(value);
}

std::wstring Set(std::wstring_view text, std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    const std::wstring entry = std::wstring(key) + L"=" + std::wstring(value);
    const std::vector<Line> lines = SplitLines(text);
    const auto range = FindSection(text, lines, section);
    std::wstring out(text);
    if (!range) {
        if (!out.empty() && out.back() != L'\n') out += L"\r\n";
        out += L"[" + std::wstring(section) + L"]\r\n" + entry + L"\r\n";
        return out;
    }
    if (const auto at = FindKey(text, lines, *range, key)) {
        out.replace(lines[*at].begin, lines[*at].end - lines[*at].begin, entry);
        return out;
    }
    // After the section's last line that is not blank (or its header).
    std::size_t after = range->header;
    for (std::size_t i = range->first; i < range->last; ++i) {
        const std::wstring_view line = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (!Trim(line).empty()) after = i;
    }
    const std::size_t end = lines[after].end;
    if (end == text.size()) {
        out += L"\r\n" + entry + L"\r\n";
    } else {
        // Behind that line's own break ("\r\n" or "\n").
        const std::size_t next = text[end] == L'\r' ? end + 2 : end + 1;
        out.insert(next, entry + L"\r\n");
    }
    return out;
}

int ParseInt(std::wstring_view value) {
    std::size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == L'+' || value[i] == L'-')) negative = value[i++] == L'-';
    std::uint32_t base = 10;
    if (i + 1 < value.size() && value[i] == L'0') {
        const wchar_t prefix = value[i + 1];
        base = prefix == L'x' ? 16 : prefix == L'o' ? 8 : prefix == L'b' ? 2 : 10;
        if (base != 10) i += 2;
    }
    // Digits up to the first that is not one of the base; the number wraps
    // around at 32 bits.
    std::uint32_t n = static_cast<std::uint32_t>(numbers::ReadDigits(value.substr(i), base).value);
    if (negative) n = 0u - n;
    // Two's complement without relying on the conversion of an out-of-range
    // unsigned value.
    return n <= 0x7FFFFFFFu ? static_cast<int>(n) : -static_cast<int>(~n) - 1;
}

std::optional<std::wstring> DecodeUtf16(std::string_view bytes) {
    if (bytes.size() < 2) return std::nullopt;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    const bool little = b0 == 0xFF && b1 == 0xFE;
    const bool big = b0 == 0xFE && b1 == 0xFF;
    if (!little && !big) return std::nullopt;
    std::wstring text;
    text.reserve((bytes.size() - 2) / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
        const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
        text += static_cast<wchar_t>(lo | (hi << 8));
    }
    return text;
}

std::string EncodeUtf16Le(std::wstring_view text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.reserve(2 + text.size() * 2);
    for (wchar_t c : text) {
        const auto unit = static_cast<std::uint16_t>(c);
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

}  // namespace profile
