#include "project/ProjectStore.h"

#include <bcrypt.h>

#include <algorithm>

#include "files/FirmwareFile.h"
#include "framework/FileRead.h"
#include "framework/Handles.h"
#include "framework/LongPath.h"
#include "framework/SystemText.h"
#include "image/Crc32.h"
#include "project/ProjectPaths.h"
#include "text/Utf8.h"

namespace project {
namespace {

constexpr std::uint32_t kLockIterations = 200000;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;

}  // namespace

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD got = ::GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    full.resize(got < n ? got : 0);
    return full.empty() ? path : full;
}

std::wstring FolderOf(const std::wstring& fullPath) {
    const std::size_t slash = fullPath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : fullPath.substr(0, slash + 1);
}

std::wstring NameWithoutExtension(const std::wstring& fullPath) {
    std::wstring name = FileNameOf(fullPath);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

OpenedProject OpenProjectFile(const std::wstring& path) {
    OpenedProject opened;
    opened.path = FullPath(path);
    opened.folder = FolderOf(opened.path);
    std::vector<std::uint8_t> bytes;
    const DWORD error = ReadWholeFile(paths::ForApi(opened.path), kMaxProjectBytes, &bytes);
    if (error == ERROR_FILE_TOO_LARGE) {
        opened.error = opened.path + L": larger than a project file can be";
        return opened;
    }
    if (error != ERROR_SUCCESS) {
        opened.error = opened.path + L": " + SystemErrorText(error, opened.path);
        return opened;
    }
    opened.sha256 = Sha256Hex(bytes.data(), bytes.size());
    ReadResult read = ReadProject(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!read.ok) {
        opened.error = opened.path + L": " + text::Widen(read.error);
        return opened;
    }
    opened.project = std::move(read.project);
    if (opened.project.name.empty()) opened.project.name = NameWithoutExtension(opened.path);
    opened.ok = true;
    return opened;
}

DWORD MeasureFile(const std::wstring& path, std::uint64_t* size, std::uint32_t* crc) {
    *size = 0;
    *crc = 0;
    UniqueHandle file(::CreateFileW(paths::ForApi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError();
    std::vector<std::uint8_t> block(1u << 20);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr))
            return ::GetLastError();
        if (got == 0) return ERROR_SUCCESS;
        *crc = image::Crc32(block.data(), got, *crc);
        *size += got;
    }
}

FileProblem CheckProjectFiles(const std::wstring& folder, const Project& project) {
    for (const std::vector<ProjectFile>* files : {&project.flash, &project.eeprom}) {
        for (const ProjectFile& f : *files) {
            FileProblem problem;
            problem.name = FileNameOf(f.path);
            problem.path = ResolvedPath(folder, f.path);
            std::uint64_t size = 0;
            std::uint32_t crc = 0;
            const DWORD error = MeasureFile(problem.path, &size, &crc);
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                problem.kind = FileProblem::kMissing;
            } else if (error != ERROR_SUCCESS) {
                problem.kind = FileProblem::kUnreadable;
                problem.error = error;
            } else if (size != f.size || crc != f.crc32) {
                problem.kind = FileProblem::kChanged;
            }
            if (problem.kind != FileProblem::kNone) return problem;
        }
    }
    return FileProblem{};
}

std::wstring DescribeFileProblem(const FileProblem& problem) {
    switch (problem.kind) {
    case FileProblem::kNone: return L"";
    case FileProblem::kMissing: return problem.name + L" is missing (" + problem.path + L")";
    case FileProblem::kUnreadable:
        return problem.name + L" cannot be read (" + SystemErrorText(problem.error, problem.path) + L")";
    case FileProblem::kChanged: return problem.name + L" has changed since the project was saved";
    }
    return L"";
}

DWORD SaveProjectFile(const std::wstring& path, const Project& project) {
    const std::string text = WriteProject(project);
    return WriteFileReplacing(path, text.data(), text.size());
}

std::string Sha256Hex(const std::uint8_t* bytes, std::size_t count) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return "";
    std::uint8_t digest[32] = {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    // BCryptHashData takes at most a ULONG at a time.
    for (std::size_t done = 0; ok && done < count;) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(count - done, 1u << 30));
        ok = BCRYPT_SUCCESS(::BCryptHashData(hash, const_cast<PUCHAR>(bytes + done), piece, 0));
        done += piece;
    }
    ok = ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) return "";
    static const char* const kDigits = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : digest) hex += {kDigits[b >> 4], kDigits[b & 15]};
    return hex;
}

bool Pbkdf2Sha256(const std::string& password, const std::vector<std::uint8_t>& salt, std::uint32_t iterations,
                  std::vector<std::uint8_t>* key) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG)))
        return false;
    key->assign(kHashBytes, 0);
    std::vector<std::uint8_t> secret(password.begin(), password.end());
    std::vector<std::uint8_t> saltCopy = salt;
    const NTSTATUS status =
        ::BCryptDeriveKeyPBKDF2(algorithm, secret.empty() ? nullptr : secret.data(), static_cast<ULONG>(secret.size()),
                                saltCopy.empty() ? nullptr : saltCopy.data(), static_cast<ULONG>(saltCopy.size()),
                                iterations, key->data(), static_cast<ULONG>(key->size()), 0);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    std::fill(secret.begin(), secret.end(), 0);
    return BCRYPT_SUCCESS(status);
}

bool MakeLock(const std::string& password, Lock* lock) {
    Lock made;
    made.salt.assign(kSaltBytes, 0);
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, made.salt.data(), static_cast<ULONG>(made.salt.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return false;
    made.iterations = kLockIterations;
    if (!Pbkdf2Sha256(password, made.salt, made.iterations, &made.hash)) return false;
    made.locked = true;
    *lock = made;
    return true;
}

bool PasswordOpensLock(const std::string& password, const Lock& lock) {
    if (!lock.locked) return true;
    std::vector<std::uint8_t> key;
    if (!Pbkdf2Sha256(password, lock.salt, lock.iterations, &key) || key.size() != lock.hash.size()) return false;
    // Every byte is compared, whatever the first difference.
    std::uint8_t differ = 0;
    for (std::size_t i = 0; i < key.size(); ++i) differ |= static_cast<std::uint8_t>(key[i] ^ lock.hash[i]);
    return differ == 0;
}

}  // namespace project
