// End-to-end: files named on the tool's command line (Explorer's "Open with",
// a shortcut), loaded into the Flash buffer once the window is up, each with
// the insert-area question, as a drop of them would.
#include "tests/e2e/LinkFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace e2e;

namespace {

class CommandLineE2e : public ToolFixture {
protected:
    // Answers the insert-area dialog of the next load (code area, or the
    // data address the dialog offers) and waits for the load's log line.
    void Answer(bool iap, int lines) {
        HWND area = tool->WaitForDialogWith(kAreaAp);
        ASSERT_NE(area, nullptr) << tool->Log();
        if (iap) {
            ::SendMessageW(::GetDlgItem(area, kAreaIap), BM_CLICK, 0, 0);
            ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(area, kAddressEdit)) != FALSE; }));
        }
        ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(tool->WaitForLogLines(lines)) << tool->Log();
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(area) || !::IsWindowVisible(area); }));
    }
};

// A folder below base whose path, with its backslash, is `length` characters.
std::wstring DeepFolder(const std::wstring& base, std::size_t length) {
    std::wstring folder = base;
    while (folder.size() + 1 < length) {
        std::size_t part = std::min<std::size_t>(length - folder.size() - 1, 100);
        if (length - folder.size() - 1 - part == 1) --part;
        folder += std::wstring(part, L'd') + L"\\";
        ::CreateDirectoryW(LongForm(folder).c_str(), nullptr);
    }
    return folder;
}

void WriteLong(const std::wstring& path, const Bytes& bytes) {
    HANDLE f = ::CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
}

}  // namespace

TEST_F(CommandLineE2e, QuotedRelativeAndLongPathsLoadInOrderEachWithItsQuestion) {
    // A boot loader in a folder with blanks (quoted), the application by a
    // path relative to the folder the tool starts in, and a patch whose path
    // is past MAX_PATH.
    ASSERT_TRUE(::CreateDirectoryW(dir.File(L"fw files").c_str(), nullptr));
    const Bytes boot(16, 0xB0);
    dir.WriteBytes(L"fw files\\boot loader.bin", boot);
    dir.WriteText(L"app.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    const std::wstring deep = DeepFolder(dir.Path(), 300);
    const std::wstring patch = deep + L"patch.bin";
    WriteLong(patch, Bytes{0x77, 0x77});
    ASSERT_GT(patch.size(), static_cast<std::size_t>(MAX_PATH));

    Start(L"T30C64", "", L"\"" + dir.File(L"fw files\\boot loader.bin") + L"\" app.hex \"" + patch + L"\"", dir.Path());
    Answer(false, 1);
    Answer(true, 2);  // the data address 0xF800
    Answer(false, 3);
    const std::wstring log = tool->Log();
    for (const wchar_t* line :
         {L"000 - Load File =>Pass   [", L"001 - Load File =>Pass   [", L"002 - Load File =>Pass   ["})
        EXPECT_NE(log.find(line), std::wstring::npos) << log;

    Bytes image = boot;
    image[0] = image[1] = 0x77;
    image.resize(0xF800, 0xFF);
    image.insert(image.end(), {1, 2, 3, 4});
    EXPECT_EQ(tool->BufferBytes(0), image);
    EXPECT_EQ(PageText(0, kFlashPath), patch + L" (Mixed file)");

    // The last file's folder is the one the file dialog offers next.
    tool->Click(kExit);
    EXPECT_EQ(tool->WaitForExit(), 0);
    EXPECT_EQ(IniString(dir.File(L"Setting.ini"), L"LoadFilePath"), deep);
}

TEST_F(CommandLineE2e, AMissingFileGivesOpenFileErrorAndTheToolStaysUp) {
    dir.WriteBytes(L"there.bin", Bytes{5, 6});
    Start(L"T30C64", "", L"missing.bin there.bin", dir.Path());
    Answer(false, 1);
    Answer(false, 2);
    EXPECT_NE(tool->Log().find(L"000 - Load File =>Open file error   ["), std::wstring::npos) << tool->Log();
    EXPECT_NE(tool->Log().find(L"001 - Load File =>Pass   ["), std::wstring::npos) << tool->Log();
    EXPECT_EQ(tool->BufferBytes(0), (Bytes{5, 6}));
    EXPECT_EQ(PageText(0, kFlashPath), dir.File(L"there.bin"));
    EXPECT_TRUE(Enabled(kLoadFile));
}
