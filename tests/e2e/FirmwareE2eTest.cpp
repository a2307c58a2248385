// End-to-end: firmware formats told by their content and Save As, through the
// real open and save dialogs of the real Tarvel_AP.exe.
#include "tests/e2e/LinkFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace e2e;

namespace {

constexpr UINT kCmdSaveBuffer = 57603;  // what Ctrl+S in a hex editor sends to the main window

// A 32-bit little-endian ELF: code (4 bytes) at 0x10, initialised data (2
// bytes) kept at 0x18 but run at 0x20000000 with .bss behind it.
Bytes Elf() {
    Bytes f(0x80, 0);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    f[0] = 0x7F, f[1] = 'E', f[2] = 'L', f[3] = 'F', f[4] = 1, f[5] = 1, f[6] = 1;
    put(16, 2, 2), put(28, 52, 4), put(42, 32, 2), put(44, 2, 2);
    const std::uint32_t segs[2][6] = {{1, 0x74, 0x10, 0x10, 4, 4}, {1, 0x78, 0x20000000, 0x18, 2, 0x100}};
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 6; ++k) put(52 + 32 * i + 4 * k, segs[i][k], 4);
    f[0x74] = 0xC1, f[0x75] = 0xC2, f[0x76] = 0xC3, f[0x77] = 0xC4, f[0x78] = 0xD1, f[0x79] = 0xD2;
    f.resize(0x7A);
    return f;
}

Bytes ElfImage() {
    Bytes b(0x1A, 0xFF);
    b[0x10] = 0xC1, b[0x11] = 0xC2, b[0x12] = 0xC3, b[0x13] = 0xC4, b[0x18] = 0xD1, b[0x19] = 0xD2;
    return b;
}

const char kSRecord[] = "S00600004844521B\r\nS1070002A1A2A3A46C\r\nS5030001FB\r\nS9030000FC\r\n";
const char kIntelHex[] = ":0400000001020304F2\r\n:02010000AABB98\r\n:00000001FF\r\n";

class FirmwareE2e : public ToolFixture {
protected:
    // "Load File" into the Flash tab with "Clear Buffer" ticked.
    void LoadFlashAlone(const std::wstring& path) {
        tool->Click(kLoadFile);
        ASSERT_TRUE(tool->ChooseFile(path));
        HWND area = tool->WaitForDialogWith(kAreaAp);
        ASSERT_NE(area, nullptr);
        ::SendMessageW(::GetDlgItem(area, kClearBuffer), BM_CLICK, 0, 0);
        ::PostMessageW(::GetDlgItem(area, IDOK), BM_CLICK, 0, 0);
    }
    // The system menu's "Save Flash buffer as...", posted: the save dialog is
    // modal and answered from here.
    void SaveFlashAs() const { ::PostMessageW(tool->Main(), WM_SYSCOMMAND, IDM_SAVE_FLASH, 0); }
    std::wstring LastLine() const {
        const std::wstring log = tool->Log();
        const std::wstring::size_type end = log.rfind(L"\r\n", log.size() - 3);
        return end == std::wstring::npos ? log : log.substr(end + 2);
    }
};

TEST_F(FirmwareE2e, SRecordElfAndHexUnderAnotherNameLoadByTheirContent) {
    Start(L"T30C64");
    dir.WriteText(L"app.s19", kSRecord);
    dir.WriteBytes(L"app.elf", Elf());
    dir.WriteText(L"app.ihx", kIntelHex);
    Bytes damagedElf = Elf();
    damagedElf.resize(0x76);  // the data segment reaches past the end now
    dir.WriteBytes(L"cut.axf", damagedElf);
    dir.WriteText(L"bad.srec", "S00600004844521B\r\nS1070002A1A2A3A46D\r\nS9030000FC\r\n");  // checksum off by one

    Bytes hexImage(0x102, 0xFF);
    hexImage[0] = 1, hexImage[1] = 2, hexImage[2] = 3, hexImage[3] = 4, hexImage[0x100] = 0xAA, hexImage[0x101] = 0xBB;
    const struct {
        const wchar_t* file;
        Bytes image;
    } good[] = {
        {L"app.s19", Bytes{0xFF, 0xFF, 0xA1, 0xA2, 0xA3, 0xA4}},
        {L"app.elf", ElfImage()},
        {L"app.ihx", hexImage},
    };
    int lines = 0;
    for (const auto& g : good) {
        SCOPED_TRACE(testing::Message() << std::string(g.file, g.file + std::wcslen(g.file)));
        LoadFlashAlone(dir.File(g.file));
        ASSERT_TRUE(tool->WaitForLogLines(++lines));
        EXPECT_NE(LastLine().find(L"Load File =>Pass   ["), std::wstring::npos) << tool->Log();
        EXPECT_EQ(tool->BufferBytes(0), g.image);
        EXPECT_EQ(PageText(0, kFlashPath), dir.File(g.file));
        EXPECT_EQ(PageText(0, kFlashSize), std::to_wstring(g.image.size()));
    }
    // Damaged S-record and ELF files: the new text, the buffer as it was.
    for (const wchar_t* bad : {L"cut.axf", L"bad.srec"}) {
        LoadFlashAlone(dir.File(bad));
        ASSERT_TRUE(tool->WaitForLogLines(++lines));
        EXPECT_NE(LastLine().find(L"Load File =>File format error   ["), std::wstring::npos) << tool->Log();
        EXPECT_EQ(tool->BufferBytes(0), hexImage);
        EXPECT_EQ(PageText(0, kFlashPath), dir.File(L"app.ihx"));
    }
}

TEST_F(FirmwareE2e, SaveAsWritesAFileThatLoadsBackAndARefusedSaveKeepsTheOldFile) {
    Start(L"T30C64");
    Bytes firmware(0x12345 % 0x10000 + 0x100, 0);
    for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    for (std::size_t i = 0x100; i < 0x180; ++i) firmware[i] = 0xFF;  // a gap is saved as bytes too
    dir.WriteBytes(L"fw.bin", firmware);
    LoadFlashAlone(dir.File(L"fw.bin"));
    ASSERT_TRUE(tool->WaitForLogLines(1));

    // A cancelled save dialog logs nothing.
    SaveFlashAs();
    ASSERT_TRUE(tool->ChooseFile(L""));

    // Save As HEX, then load it back alone: the same bytes.
    SaveFlashAs();
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"saved.hex")));
    ASSERT_TRUE(tool->WaitForLogLines(2));
    EXPECT_NE(tool->Log().find(L"001 - Save File =>Pass   ["), std::wstring::npos) << tool->Log();
    const Bytes saved = ReadFileBytes(dir.File(L"saved.hex"));
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved[0], ':');
    const std::string tail(saved.end() - 13, saved.end());
    EXPECT_EQ(tail, ":00000001FF\r\n");
    dir.WriteBytes(L"fw.bin", Bytes{9});
    LoadFlashAlone(dir.File(L"saved.hex"));
    ASSERT_TRUE(tool->WaitForLogLines(3));
    EXPECT_NE(LastLine().find(L"Load File =>Pass   ["), std::wstring::npos) << tool->Log();
    EXPECT_EQ(tool->BufferBytes(0), firmware);

    // Ctrl+S in the EEPROM page's editor saves the EEPROM buffer; the type
    // comes from the extension.
    dir.WriteBytes(L"ee.bin", Bytes{0x11, 0x22, 0x33});
    tool->SelectTab(1);
    tool->Click(kLoadFile);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"ee.bin")));
    ASSERT_TRUE(tool->WaitForLogLines(4));
    ::PostMessageW(tool->Main(), WM_COMMAND, MAKEWPARAM(kCmdSaveBuffer, 0), 0);
    ASSERT_TRUE(tool->ChooseFile(dir.File(L"ee.s19")));
    ASSERT_TRUE(tool->WaitForLogLines(5));
    EXPECT_NE(LastLine().find(L"Save File =>Pass   ["), std::wstring::npos) << tool->Log();
    const Bytes srec = ReadFileBytes(dir.File(L"ee.s19"));
    EXPECT_EQ(std::string(srec.begin(), srec.end()), "S0030000FC\r\nS3080000000011223391\r\nS70500000000FA\r\n");

    // A file that cannot be replaced (read-only): the error, the old content,
    // and no temporary file left behind.
    tool->SelectTab(0);
    dir.WriteText(L"old.hex", "old content");
    ASSERT_TRUE(::SetFileAttributesW(dir.File(L"old.hex").c_str(), FILE_ATTRIBUTE_READONLY));
    SaveFlashAs();
    ASSERT_TRUE(tool->ChooseFileReplacing(dir.File(L"old.hex")));
    ASSERT_TRUE(tool->WaitForLogLines(6));
    EXPECT_NE(LastLine().find(L"Save File =>Save file error   ["), std::wstring::npos) << tool->Log();
    const Bytes old = ReadFileBytes(dir.File(L"old.hex"));
    ASSERT_EQ(std::string(old.begin(), old.end()), "old content");
    ::SetFileAttributesW(dir.File(L"old.hex").c_str(), FILE_ATTRIBUTE_NORMAL);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(dir.File(L"*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left behind: " << std::string(found.cFileName, found.cFileName + 4);
    if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
}

}  // namespace
