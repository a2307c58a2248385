// Project files on the disk under Windows: the password hash against the
// published PBKDF2-HMAC-SHA256 values, a lock that opens only for its
// password, a save and open round trip, and firmware files that changed or
// went missing after the project was saved.
#include "project/ProjectStore.h"

#include <gtest/gtest.h>

#include <string>

#include "project/ProjectPaths.h"

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char* const kDigits = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : bytes) s += {kDigits[b >> 4], kDigits[b & 15]};
    return s;
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class Folder {
public:
    Folder() {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"tarvel-project-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(path_.c_str(), nullptr);
        ::CreateDirectoryW((path_ + L"fw").c_str(), nullptr);
    }
    ~Folder() {
        for (const wchar_t* name : {L"fw\\app.bin", L"cal.bin", L"line.tarvel"}) ::DeleteFileW((path_ + name).c_str());
        ::RemoveDirectoryW((path_ + L"fw").c_str());
        ::RemoveDirectoryW(path_.c_str());
    }
    const std::wstring& Path() const { return path_; }
    void Write(const wchar_t* name, const std::string& bytes) const {
        HANDLE f = ::CreateFileW((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(f);
    }

private:
    std::wstring path_;
};

TEST(ProjectStore, PasswordHashIsPbkdf2HmacSha256) {
    struct Case {
        const char* password;
        const char* salt;
        std::uint32_t iterations;
        const char* key;
    };
    // Published test values of PBKDF2-HMAC-SHA256, 32-byte keys.
    const Case cases[] = {
        {"password", "salt", 1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
        {"password", "salt", 2, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
        {"password", "salt", 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> key;
        ASSERT_TRUE(project::Pbkdf2Sha256(c.password, Bytes(c.salt), c.iterations, &key));
        EXPECT_EQ(Hex(key), c.key) << c.iterations;
    }
}

TEST(ProjectStore, ALockOpensForItsPasswordOnly) {
    project::Lock lock, other;
    ASSERT_TRUE(project::MakeLock("line-1 \xE5\xAF\x86\xE7\xA0\x81", &lock));
    ASSERT_TRUE(project::MakeLock("line-1 \xE5\xAF\x86\xE7\xA0\x81", &other));
    EXPECT_TRUE(lock.locked);
    EXPECT_NE(lock.salt, other.salt) << "every lock has its own salt";
    EXPECT_NE(lock.hash, other.hash);
    EXPECT_TRUE(project::PasswordOpensLock("line-1 \xE5\xAF\x86\xE7\xA0\x81", lock));
    for (const char* wrong : {"", "line-1", "LINE-1 \xE5\xAF\x86\xE7\xA0\x81", "line-1 \xE5\xAF\x86\xE7\xA0\x81 "})
        EXPECT_FALSE(project::PasswordOpensLock(wrong, lock)) << wrong;
}

TEST(ProjectStore, ASavedProjectOpensAgainAndItsFilesAreChecked) {
    Folder f;
    f.Write(L"fw\\app.bin", "application");
    f.Write(L"cal.bin", "cal");
    project::Project p;
    p.part = L"T30C64";
    for (const wchar_t* name : {L"fw\\app.bin", L"cal.bin"}) {
        project::ProjectFile file;
        file.path = project::StoredPath(f.Path(), f.Path() + name);
        ASSERT_EQ(project::MeasureFile(f.Path() + name, &file.size, &file.crc32), static_cast<DWORD>(ERROR_SUCCESS));
        (file.path == L"cal.bin" ? p.eeprom : p.flash).push_back(file);
    }
    EXPECT_EQ(p.flash[0].path, L"fw/app.bin");
    EXPECT_EQ(p.flash[0].size, 11u);
    ASSERT_EQ(project::SaveProjectFile(f.Path() + L"line.tarvel", p), static_cast<DWORD>(ERROR_SUCCESS));

    project::OpenedProject opened = project::OpenProjectFile(f.Path() + L"line.tarvel");
    ASSERT_TRUE(opened.ok) << std::string(opened.error.begin(), opened.error.end());
    EXPECT_EQ(opened.project.name, L"line") << "named after its file";
    EXPECT_EQ(opened.folder, f.Path());
    EXPECT_EQ(project::CheckProjectFiles(opened.folder, opened.project).kind, project::FileProblem::kNone);

    f.Write(L"fw\\app.bin", "applicatioN");  // same size, other bytes
    project::FileProblem problem = project::CheckProjectFiles(opened.folder, opened.project);
    EXPECT_EQ(problem.kind, project::FileProblem::kChanged);
    EXPECT_EQ(project::DescribeFileProblem(problem), L"app.bin has changed since the project was saved");

    f.Write(L"fw\\app.bin", "application");
    ::DeleteFileW((f.Path() + L"cal.bin").c_str());
    problem = project::CheckProjectFiles(opened.folder, opened.project);
    EXPECT_EQ(problem.kind, project::FileProblem::kMissing);
    EXPECT_EQ(problem.name, L"cal.bin");

    f.Write(L"line.tarvel", "{\"format\": \"tarvel-project\", \"version\": 9}");
    opened = project::OpenProjectFile(f.Path() + L"line.tarvel");
    EXPECT_FALSE(opened.ok);
    EXPECT_NE(opened.error.find(L"version: format version 9"), std::wstring::npos);
    EXPECT_FALSE(project::OpenProjectFile(f.Path() + L"none.tarvel").ok);
}

}  // namespace
