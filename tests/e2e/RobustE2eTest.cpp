// End-to-end: the real tool where its surroundings go wrong. A Setting.ini
// that cannot be written, a folder so deep that Setting.ini's path is past
// MAX_PATH, a Tarvel_DLL.dll that is there but is no 32-bit library.
#include "res/resource.h"
#include "tests/e2e/ToolDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using e2e::IniString;
using e2e::LongForm;
using e2e::TempFolder;
using e2e::Tool;

namespace {
constexpr int kFamilyList = 1013, kPartList = 1017, kExit = 2;

const wchar_t kNotSavedEnglish[] = L"The settings could not be saved to this file:";
const wchar_t kNotSavedChinese[] = L"无法将设置保存到此文件：";

// All texts of a message box, one after the other.
std::wstring BoxText(HWND box) {
    std::wstring text;
    for (const std::wstring& part : e2e::ChildTexts(box)) text += part + L"|";
    return text;
}

void Confirm(HWND box) { ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// A folder below `base` whose path, trailing backslash included, is `length`
// characters long; its first level has a Chinese name.
std::wstring MakeDeepFolder(const std::wstring& base, std::size_t length) {
    std::wstring folder = base + L"深层目录\\";
    ::CreateDirectoryW(LongForm(folder).c_str(), nullptr);
    while (folder.size() + 1 < length) {
        // Levels of up to 100 characters, never leaving room for less than
        // one character and its backslash.
        std::size_t part = std::min<std::size_t>(length - folder.size() - 1, 100);
        if (length - folder.size() - 1 - part == 1) --part;
        folder += std::wstring(part, L'd') + L"\\";
        ::CreateDirectoryW(LongForm(folder).c_str(), nullptr);
    }
    return folder;
}

// The tool, under the name exeName, and the library in `folder` (any depth).
void Install(const std::wstring& folder, const wchar_t* exeName) {
    const std::wstring bin = e2e::BinFolder();
    ::CopyFileW((bin + L"Tarvel_AP.exe").c_str(), LongForm(folder + exeName).c_str(), FALSE);
    ::CopyFileW((bin + L"Tarvel_DLL.dll").c_str(), LongForm(folder + L"Tarvel_DLL.dll").c_str(), FALSE);
}

// The profile functions cannot open a file past MAX_PATH; a value of such a
// file is read from a copy at a short path, a new one every time so that no
// copy read before answers.
std::wstring DeepIniString(const TempFolder& dir, const std::wstring& ini, const wchar_t* key) {
    static int copies = 0;
    const std::wstring copy = dir.File((L"copy" + std::to_wstring(copies++) + L".ini").c_str());
    if (!::CopyFileW(LongForm(ini).c_str(), copy.c_str(), FALSE)) return L"<no file>";
    return IniString(copy, key);
}

// A DLL with nothing in it (headers and one empty section) built for the
// other width than the tool's: x86-64 for the 32-bit tool, i386 for the
// 64-bit build that runs the tests where 32-bit programs cannot run. Either
// way the loader refuses it for the process.
std::string OtherWidthDll() {
#ifdef _WIN64
    constexpr bool wide = false;
#else
    constexpr bool wide = true;
#endif
    std::string pe(0x400, '\0');
    auto put16 = [&](std::size_t at, unsigned v) { pe[at] = char(v & 0xFF), pe[at + 1] = char(v >> 8); };
    auto put32 = [&](std::size_t at, unsigned long v) { put16(at, v & 0xFFFF), put16(at + 2, (v >> 16) & 0xFFFF); };
    pe[0] = 'M', pe[1] = 'Z';
    put32(0x3C, 0x40);  // where the PE header starts
    std::memcpy(&pe[0x40], "PE\0\0", 4);
    put16(0x44, wide ? 0x8664 : 0x14C);           // machine: x86-64 or i386
    put16(0x46, 1);                               // one section
    const unsigned optSize = wide ? 0xF0 : 0xE0;  // size of the optional header
    put16(0x54, optSize);
    put16(0x56, wide ? 0x2022 : 0x2102);  // executable, large addresses or 32-bit, DLL
    const std::size_t opt = 0x58;
    put16(opt, wide ? 0x20B : 0x10B);  // PE32+ or PE32
    put32(opt + 4, 0x200);             // size of code
    put32(opt + 20, 0x1000);           // base of code
    if (wide) {
        put32(opt + 24, 0x80000000), put32(opt + 28, 0x1);  // image base 0x180000000
    } else {
        put32(opt + 28, 0x10000000);  // image base
    }
    put32(opt + 32, 0x1000), put32(opt + 36, 0x200);  // section and file alignment
    put16(opt + 40, 6), put16(opt + 48, 6);           // OS and subsystem version 6.0
    put32(opt + 56, 0x2000), put32(opt + 60, 0x200);  // size of image and of headers
    put16(opt + 68, 2);                               // GUI subsystem
    // Stack and heap reserve and commit: 64-bit fields in PE32+, 32-bit in PE32.
    const std::size_t step = wide ? 8 : 4;
    put32(opt + 72, 0x100000), put32(opt + 72 + step, 0x1000);
    put32(opt + 72 + 2 * step, 0x100000), put32(opt + 72 + 3 * step, 0x1000);
    put32(opt + 72 + 4 * step + 4, 16);  // data directories
    const std::size_t section = opt + optSize;
    std::memcpy(&pe[section], ".text", 5);
    put32(section + 8, 0x200), put32(section + 12, 0x1000);  // virtual size and address
    put32(section + 16, 0x200), put32(section + 20, 0x200);  // raw size and offset
    put32(section + 36, 0x60000020);                         // code, readable, executable
    return pe;
}
}  // namespace

TEST(RobustE2e, SettingsThatCannotBeSavedAreToldOnceAndTheToolEndsNormally) {
    // A directory named Setting.ini: every write fails, as it does for a
    // read-only file or folder (which the superuser running the tests could
    // write anyway).
    struct Case {
        const char* what;
        bool deepFolder;      // Setting.ini's path past MAX_PATH
        bool switchLanguage;  // written at once; else only at Exit
        const wchar_t* sentence;
    };
    const Case cases[] = {
        {"written at Exit", false, false, kNotSavedEnglish},
        {"language switch, then Exit", false, true, kNotSavedChinese},
        {"written at Exit, deep folder", true, false, kNotSavedEnglish},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        const std::wstring folder = c.deepFolder ? MakeDeepFolder(dir.Path(), 254) : dir.Path();
        const wchar_t* exe = c.deepFolder ? L"T.exe" : L"Tarvel_AP.exe";
        Install(folder, exe);
        const std::wstring ini = folder + L"Setting.ini";
        ASSERT_TRUE(::CreateDirectoryW(LongForm(ini).c_str(), nullptr));

        Tool tool(folder, exe);
        ASSERT_TRUE(tool.Started());
        ASSERT_TRUE(tool.WaitForMainWindow());
        if (c.switchLanguage) {
            ::PostMessageW(tool.Main(), WM_SYSCOMMAND, IDM_LANGUAGE_CHINESE, 0);
            const HWND box = tool.WaitForOtherDialog();
            ASSERT_NE(box, nullptr) << "the failed write is told at once";
            const std::wstring text = BoxText(box);
            EXPECT_TRUE(Contains(text, c.sentence)) << "in the language just chosen";
            EXPECT_TRUE(Contains(text, ini + L"\n\n")) << "the file, then the system's reason";
            Confirm(box);
            EXPECT_TRUE(e2e::WaitUntil([&] { return tool.Title().rfind(L"泰索科技", 0) == 0; }));
            tool.ChooseComboItem(kFamilyList, 1);
            tool.Click(kExit);
        } else {
            tool.ChooseComboItem(kFamilyList, 1);
            tool.Click(kExit);
            const HWND box = tool.WaitForOtherDialog();
            ASSERT_NE(box, nullptr) << "the failed writes are told at Exit";
            const std::wstring text = BoxText(box);
            EXPECT_TRUE(Contains(text, c.sentence));
            EXPECT_TRUE(Contains(text, ini + L"\n\n")) << "the file, then the system's reason";
            Confirm(box);
        }
        // Told once: a second message would keep the tool from ending.
        EXPECT_EQ(tool.WaitForExit(), 0);
        ::RemoveDirectoryW(LongForm(ini).c_str());
    }
}

TEST(RobustE2e, ADeepFolderKeepsItsSettings) {
    // The folder's path is 254 characters with its backslash, so Setting.ini's
    // is 265 and the library's 268. The tool is installed as T.exe: a program
    // path (259 characters here) must fit MAX_PATH for CreateProcess.
    TempFolder dir;
    const std::wstring folder = MakeDeepFolder(dir.Path(), 254);
    ASSERT_EQ(folder.size(), 254u);
    Install(folder, L"T.exe");
    const std::wstring ini = folder + L"Setting.ini";

    std::wstring chosenPart;
    {
        Tool tool(folder, L"T.exe");
        ASSERT_TRUE(tool.Started());
        ASSERT_TRUE(tool.WaitForMainWindow()) << "the library loads from the deep folder";
        ::PostMessageW(tool.Main(), WM_SYSCOMMAND, IDM_LANGUAGE_CHINESE, 0);
        ASSERT_TRUE(e2e::WaitUntil([&] { return tool.Title().rfind(L"泰索科技", 0) == 0; }));
        EXPECT_EQ(DeepIniString(dir, ini, L"Language"), L"1") << "written at once";
        tool.ChooseComboItem(kFamilyList, 1);
        const auto parts = tool.ComboItems(kPartList);
        ASSERT_FALSE(parts.empty());
        tool.ChooseComboItem(kPartList, static_cast<int>(parts.size()) - 1);
        chosenPart = tool.ComboSelection(kPartList);
        tool.Click(kExit);
        ASSERT_EQ(tool.WaitForExit(), 0) << "no message: the settings were saved";
    }
    EXPECT_NE(DeepIniString(dir, ini, L"LastPartNo"), L"<missing>");

    // A folder to load files from, itself long and Chinese, put in by hand.
    const std::wstring loadFolder = L"C:\\固件\\" + std::wstring(300, L'f') + L"\\";
    const std::wstring copy = dir.File(L"edit.ini");
    ASSERT_TRUE(::CopyFileW(LongForm(ini).c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(::WritePrivateProfileStringW(L"Setting", L"LoadFilePath", loadFolder.c_str(), copy.c_str()));
    ASSERT_TRUE(::CopyFileW(copy.c_str(), LongForm(ini).c_str(), FALSE));

    Tool again(folder, L"T.exe");
    ASSERT_TRUE(again.WaitForMainWindow());
    EXPECT_EQ(again.Title().rfind(L"泰索科技", 0), 0u);
    EXPECT_EQ(again.ComboSelection(kPartList), chosenPart);
    again.Click(kExit);
    ASSERT_EQ(again.WaitForExit(), 0);
    EXPECT_EQ(DeepIniString(dir, ini, L"LoadFilePath"), loadFolder);
    EXPECT_EQ(DeepIniString(dir, ini, L"Language"), L"1");
}

TEST(RobustE2e, ALibraryThatIsThereButCannotBeLoadedIsNotCalledMissing) {
    struct Case {
        const char* what;
        bool present;
        std::string bytes;  // of Tarvel_DLL.dll
        int language;       // in Setting.ini
        const wchar_t* sentence;
    };
    const Case cases[] = {
        {"empty file", true, "", 0, L"This file is there but could not be loaded as a 32-bit library:"},
        {"text file", true, "This is not a library.\r\n", 0,
         L"This file is there but could not be loaded as a 32-bit library:"},
        {"library of the other width", true, OtherWidthDll(), 0,
         L"This file is there but could not be loaded as a 32-bit library:"},
        {"library of the other width, Chinese", true, OtherWidthDll(), 1, L"此文件存在，但无法作为32位库加载："},
        {"no file", false, "", 0, L"Missing: "},
        {"no file, Chinese", false, "", 1, L"缺少："},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        dir.InstallTool(/*withLibrary=*/false);
        if (c.present) dir.WriteText(L"Tarvel_DLL.dll", c.bytes);
        dir.WriteText(L"Setting.ini", "[Setting]\r\nLanguage=" + std::to_string(c.language) + "\r\n");
        const std::wstring library = dir.File(L"Tarvel_DLL.dll");

        Tool tool(dir.Path());
        const HWND box = tool.WaitForOtherDialog();
        ASSERT_NE(box, nullptr);
        const std::wstring text = BoxText(box);
        if (c.present) {
            EXPECT_TRUE(Contains(text, std::wstring(c.sentence) + L"\n" + library + L"\n\n")) << "then the reason";
            EXPECT_FALSE(Contains(text, L"Missing")) << "the file is not missing";
        } else {
            EXPECT_TRUE(Contains(text, c.sentence + library));
        }
        Confirm(box);
        EXPECT_EQ(tool.WaitForExit(), 0);
    }
}
