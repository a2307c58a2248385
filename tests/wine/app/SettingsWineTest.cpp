// Setting.ini in process: values of any length a path can have, read the
// same whether the profile functions reach the file or the file is past
// MAX_PATH and read without them; and a long folder to load files from that
// survives the main window's start and Exit unchanged.
#include "framework/SettingsFile.h"
#include "tests/e2e/ToolDriver.h"
#include "tests/wine/app/MainWindowFixture.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using e2e::LongForm;
using e2e::RemoveTree;

// A new folder under the temporary folder, `depth` characters long with its
// trailing backslash when depth is given; removed with its contents.
class Folder {
public:
    explicit Folder(std::size_t depth = 0) {
        static int count = 0;
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_root = std::wstring(temp) + L"tarvel-settings-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(count++) + L"\\";
        ::CreateDirectoryW(m_root.c_str(), nullptr);
        m_path = m_root;
        while (m_path.size() + 1 < depth) {
            // Levels of up to 100 characters, never leaving room for less
            // than one character and its backslash.
            std::size_t part = std::min<std::size_t>(depth - m_path.size() - 1, 100);
            if (depth - m_path.size() - 1 - part == 1) --part;
            m_path += std::wstring(part, L'd') + L"\\";
            ::CreateDirectoryW(LongForm(m_path).c_str(), nullptr);
        }
    }
    ~Folder() { RemoveTree(LongForm(m_root)); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    const std::wstring& Path() const { return m_path; }

    void Write(const wchar_t* name, const std::string& bytes) const {
        HANDLE f = ::CreateFileW(LongForm(m_path + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(f);
    }

    std::string Read(const wchar_t* name) const {
        std::string bytes;
        HANDLE f = ::CreateFileW(LongForm(m_path + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return bytes;
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
        ::CloseHandle(f);
        return bytes;
    }

private:
    std::wstring m_root;
    std::wstring m_path;
};

std::string Utf16Le(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    for (wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
    return bytes;
}

// A folder path of exactly `length` (at least 10) characters.
std::wstring FolderOfLength(std::size_t length) {
    std::wstring path = L"C:\\";
    while (length - path.size() > 6) path += L"\u56FA\u4EF6\u76EE\u5F55\\";
    return path + std::wstring(length - path.size() - 1, L'd') + L"\\";
}

TEST(SettingsFile, ReadsValuesAsLongAsAnyPathWholeAndNoLongerOnesAtAll) {
    struct Case {
        std::size_t length;
        bool whole;  // else the default comes back, never a cut value
    };
    const Case cases[] = {{255, true},  {256, true},   {257, true},    {511, true},
                          {4000, true}, {32766, true}, {32767, false}, {40000, false}};
    // 0: Setting.ini reached by the profile functions; 254: past MAX_PATH.
    for (std::size_t depth : {std::size_t{0}, std::size_t{254}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "folder depth " << depth << ", value of " << c.length);
            // A new folder for every file: the profile functions keep files
            // they have read in a cache.
            Folder folder(depth);
            ASSERT_TRUE(depth == 0 || folder.Path().size() == depth);
            const std::wstring value = FolderOfLength(c.length);
            ASSERT_EQ(value.size(), c.length);
            folder.Write(L"Setting.ini", Utf16Le(L"[Setting]\r\nLoadFilePath=" + value + L"\r\nLanguage=1\r\n"));
            const SettingsFile settings(folder.Path());
            const std::wstring read = settings.ReadString(L"LoadFilePath", L"NULL");
            const std::wstring expected = c.whole ? value : L"NULL";
            EXPECT_EQ(read.size(), expected.size());
            EXPECT_TRUE(read == expected);
            EXPECT_EQ(settings.ReadInt(L"Language", 0), 1);
        }
    }
}

TEST(SettingsFile, PastMaxPathAnAnsiFileKeepsItsOtherLinesAndBecomesUnicode) {
    Folder folder(254);
    ASSERT_EQ(folder.Path().size(), 254u);
    folder.Write(L"Setting.ini", "; by hand\r\n[Other]\r\nKeep=yes\r\n[Setting]\r\nLanguage=1\r\n");
    const SettingsFile settings(folder.Path());
    EXPECT_EQ(settings.ReadInt(L"Language", 0), 1);
    ASSERT_TRUE(settings.WriteString(L"LoadFilePath", L"C:\\\u56FA\u4EF6\\"));
    ASSERT_TRUE(settings.WriteInt(L"Language", 0));
    EXPECT_EQ(folder.Read(L"Setting.ini"), Utf16Le(L"; by hand\r\n[Other]\r\nKeep=yes\r\n[Setting]\r\nLanguage=0\r\n"
                                                   L"LoadFilePath=C:\\\u56FA\u4EF6\\\r\n"));
    EXPECT_EQ(settings.ReadString(L"LoadFilePath", L"NULL"), L"C:\\\u56FA\u4EF6\\");
}

// The main window reads the folder to load files from at its start and
// writes it back at Exit.
using SettingsDialogTest = MainWindowTest;

TEST_F(SettingsDialogTest, ALongFolderToLoadFromIsSavedBackUnchanged) {
    const std::wstring folder = FolderOfLength(600);
    HANDLE f = ::CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    const std::string bytes = Utf16Le(L"[Setting]\r\nLoadFilePath=" + folder + L"\r\n");
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
    {
        ASSERT_NO_FATAL_FAILURE(Start());
        EXPECT_EQ(dlg->LastFolder.size(), folder.size());
        ::SendMessageW(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        dlg.reset();
    }
    std::vector<wchar_t> buffer(2048);
    ::GetPrivateProfileStringW(L"Setting", L"LoadFilePath", L"<missing>", buffer.data(),
                               static_cast<DWORD>(buffer.size()), ini.c_str());
    const std::wstring saved(buffer.data());
    EXPECT_EQ(saved.size(), folder.size());
    EXPECT_TRUE(saved == folder) << "the same folder";
}

}  // namespace
