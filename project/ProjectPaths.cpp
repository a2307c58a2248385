#include "project/ProjectPaths.h"

#include <vector>

namespace project {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t Folded(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// The parts between separators, with "." dropped and ".." taking the part
// before it away (never past the first part, the drive or the share).
std::vector<std::wstring> Parts(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    auto flush = [&] {
        if (part == L"..") {
            if (parts.size() > 1) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (wchar_t c : path) {
        if (IsSeparator(c)) flush();
        else part += c;
    }
    flush();
    return parts;
}

bool SameParts(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

bool IsDeviceName(const std::wstring& part) {
    // The name before the first dot decides: "nul.txt" is NUL too.
    std::wstring base = part.substr(0, part.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (wchar_t& c : base) c = Folded(c);
    static const wchar_t* const kPlain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* name : kPlain)
        if (base == name) return true;
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           base[3] >= L'0' && base[3] <= L'9';
}

}  // namespace

bool IsAbsolutePath(const std::wstring& path) {
    if (!path.empty() && IsSeparator(path[0])) return true;
    return path.size() >= 2 && path[1] == L':';
}

std::wstring StoredPath(const std::wstring& folder, const std::wstring& fullPath) {
    const std::vector<std::wstring> base = Parts(folder), file = Parts(fullPath);
    const bool sameRoot =
        IsAbsolutePath(folder) && IsAbsolutePath(fullPath) && IsSeparator(folder[0]) == IsSeparator(fullPath[0]);
    if (sameRoot && !base.empty() && file.size() > base.size()) {
        bool inside = true;
        for (std::size_t i = 0; i < base.size() && inside; ++i) inside = SameParts(base[i], file[i]);
        if (inside) {
            std::wstring relative;
            for (std::size_t i = base.size(); i < file.size(); ++i)
                relative += (relative.empty() ? L"" : L"/") + file[i];
            return relative;
        }
    }
    return fullPath;
}

std::wstring ResolvedPath(const std::wstring& folder, const std::wstring& stored) {
    std::wstring path = IsAbsolutePath(stored) ? stored : folder;
    if (!IsAbsolutePath(stored)) {
        if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
        path += stored;
    }
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::string WritePathProblem(const std::wstring& stored) {
    if (stored.empty()) return "an empty path";
    if (IsAbsolutePath(stored)) return "not a path inside the project's folder";
    std::wstring part;
    for (std::size_t i = 0; i <= stored.size(); ++i) {
        const wchar_t c = i < stored.size() ? stored[i] : L'/';
        if (!IsSeparator(c)) {
            if (c < 32 || c == L':' || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*')
                return "a character Windows does not take in a file name";
            part += c;
            continue;
        }
        if (part.empty() || part == L"." || part == L"..") return "not a path inside the project's folder";
        if (part.back() == L'.' || part.back() == L' ') return "a name that ends in a dot or a blank";
        if (IsDeviceName(part)) return "a device name, not a file";
        part.clear();
    }
    return "";
}

std::wstring FileNameOf(const std::wstring& stored) {
    const std::size_t at = stored.find_last_of(L"\\/");
    return at == std::wstring::npos ? stored : stored.substr(at + 1);
}

}  // namespace project
