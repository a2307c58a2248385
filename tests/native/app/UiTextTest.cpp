// Text pairs, family names and rate lists.
#include "isp/RateTable.h"
#include "text/UiText.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

using Items = std::vector<std::wstring>;

TEST(UiText, EveryPairHasEnglishAndChineseHalves) {
    ASSERT_EQ(kUiTextCount, 68);
    for (int i = 0; i < kUiTextCount; ++i) {
        SCOPED_TRACE(i);
        const wchar_t* english = LangText(UiText[i], 0);
        const wchar_t* chinese = LangText(UiText[i], 1);
        EXPECT_GT(std::wcslen(english), 0u);
        EXPECT_GT(std::wcslen(chinese), 0u);
        EXPECT_EQ(chinese, english + std::wcslen(english) + 1);
    }
}

// Spot checks by index; the Chinese halves are spelled as code points so a
// source read in the wrong character set fails here.
TEST(UiText, PairsSitAtTheirIndices) {
    struct Case {
        texts::TextId id;
        const wchar_t* english;
        const wchar_t* chinese;
    };
    const Case cases[] = {
        {texts::kMakerName, L"Tessaro", L"\u6CF0\u7D22\u79D1\u6280"},
        {texts::kProductName, L"Tarvel", L"Tarvel"},
        {texts::kPass, L"Pass", L"\u6210\u529F"},
        {texts::kStop, L"Stop", L"\u505C\u6B62"},
        {texts::kOpenComError, L"Opten COM error",
         L"\u5F00\u542F"
         L"COM\u9519\u8BEF"},
        {texts::kAreaAp, L"AP (Code)", L"AP (\u7A0B\u5E8F)"},
        {texts::kClosePort, L"Close Port", L"\u5173\u95ED\u4E32\u53E3"},
        {texts::kHexFileError, L"HEX file error", L"HEX\u6587\u4EF6\u9519\u8BEF"},
        {texts::kFileFormatError, L"File format error", L"\u6587\u4EF6\u683C\u5F0F\u9519\u8BEF"},
        {texts::kSaveFile, L"Save File", L"\u4FDD\u5B58\u6587\u4EF6"},
        {texts::kSaveFileError, L"Save file error", L"\u4FDD\u5B58\u6587\u4EF6\u5931\u8D25"},
        {texts::kSaveFlashBufferAs, L"Save Flash buffer as...",
         L"\u4FDD\u5B58"
         L"Flash\u7F13\u51B2\u533A..."},
        {texts::kSaveEepromBufferAs, L"Save EEPROM buffer as...",
         L"\u4FDD\u5B58"
         L"EEPROM\u7F13\u51B2\u533A..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.english);
        EXPECT_STREQ(LangText(c.id, 0), c.english);
        EXPECT_STREQ(LangText(c.id, 1), c.chinese);
    }
    EXPECT_EQ(texts::kOpenComError, 43);
    EXPECT_EQ(texts::kClosePort, 57);
    EXPECT_EQ(texts::kHexFileError, 58);

    // The blinking prompt is erased by its length, so the lengths matter.
    EXPECT_EQ(std::wcslen(LangText(texts::kRepowerPrompt, 0)), 21u);
    EXPECT_EQ(std::wcslen(LangText(texts::kRepowerPrompt, 1)), 8u);
}

TEST(UiText, TheFileTextsAreABlockOfTheirOwnWithBothHalves) {
    for (int id = texts::kFileTextBase; id < texts::kFileTextEnd; ++id) {
        SCOPED_TRACE(id);
        const wchar_t* english = LangText(static_cast<texts::TextId>(id), 0);
        const wchar_t* chinese = LangText(static_cast<texts::TextId>(id), 1);
        EXPECT_GT(std::wcslen(english), 0u);
        EXPECT_GT(std::wcslen(chinese), 0u);
        EXPECT_EQ(chinese, english + std::wcslen(english) + 1);
    }
    EXPECT_STREQ(LangText(texts::kFilterAllFiles, 0), L"All Files (*.*)");
    EXPECT_STREQ(LangText(texts::kFilterAllFiles, 1), L"\u6240\u6709\u6587\u4EF6 (*.*)");
    EXPECT_STREQ(LangText(texts::kOpenProjectMenu, 0), L"Open project...");
    EXPECT_STREQ(LangText(texts::kOpenProjectMenu, 1), L"\u6253\u5F00\u9879\u76EE...");
    EXPECT_STREQ(LangText(texts::kSaveProjectAsMenu, 1), L"\u9879\u76EE\u53E6\u5B58\u4E3A...");
    EXPECT_STREQ(LangText(texts::kUnlockProjectMenu, 1), L"\u89E3\u9501\u9879\u76EE...");
    // Neither next to the first table nor past the block.
    EXPECT_STREQ(LangText(static_cast<texts::TextId>(texts::kFileTextBase - 1), 0), L"");
    EXPECT_STREQ(LangText(static_cast<texts::TextId>(texts::kFileTextEnd), 0), L"");
}

TEST(UiText, FillTextPutsTheValuesInTheirPlaces) {
    EXPECT_EQ(FillText(L"%1: %3 is not offered for %2", {L"baud", L"KV707", L"1200"}),
              L"baud: 1200 is not offered for KV707");
    // A number without a value, and a percent sign of its own, stay.
    EXPECT_EQ(FillText(L"100% of %1 and %2", {L"A"}), L"100% of A and %2");
    EXPECT_EQ(FillText(L"%1%1", {L"%2", L"x"}), L"%2%2");
}

TEST(UiText, AnyNonZeroLanguageIsChinese) {
    const wchar_t* pair = UiText[texts::kFail];
    EXPECT_STREQ(LangText(pair, 0), L"Fail");
    EXPECT_STREQ(LangText(pair, 1), L"\u5931\u8D25");
    EXPECT_STREQ(LangText(pair, 2), L"\u5931\u8D25");
    EXPECT_STREQ(LangText(pair, -1), L"\u5931\u8D25");
}

TEST(UiText, BadPairOrIdGivesEmptyText) {
    EXPECT_STREQ(LangText(static_cast<const wchar_t*>(nullptr), 1), L"");
    EXPECT_STREQ(LangText(static_cast<texts::TextId>(kUiTextCount), 0), L"");
    EXPECT_STREQ(LangText(static_cast<texts::TextId>(-1), 1), L"");
}

TEST(FamilyNames, NamedBitsOnly) {
    EXPECT_STREQ(FamilyName(0), L"KV Series");
    EXPECT_STREQ(FamilyName(5), L"T10 A1 Series");
    EXPECT_STREQ(FamilyName(13), L"HX Series");
    EXPECT_EQ(FamilyName(14), nullptr);
    EXPECT_EQ(FamilyName(31), nullptr);
    EXPECT_EQ(FamilyName(0xFFFFFFFFu), nullptr);
}

TEST(RateTable, PortKindByPrefix) {
    EXPECT_TRUE(IsComPortName(L"COM1"));
    EXPECT_TRUE(IsComPortName(L"COM256"));
    EXPECT_FALSE(IsComPortName(L"KV707"));
    EXPECT_FALSE(IsComPortName(L"com3"));
    EXPECT_FALSE(IsComPortName(L"CO"));
    EXPECT_FALSE(IsComPortName(L""));
}

TEST(RateTable, ListsForPortKindAndPartClass) {
    struct Case {
        bool download;
        bool com;
        int partClass;
        Items items;
    };
    const Items baudCom = {L"Auto",  L"1200",  L"2400",  L"4800",  L"9600",
                           L"14400", L"19200", L"38400", L"57600", L"115200"};
    const Items baudAdapter = {L"Auto", L"4800", L"9600", L"19200", L"38400", L"51200", L"57600", L"102400", L"115200"};
    const Case cases[] = {
        {true, true, 0, baudCom},       {false, true, 0, {L"1200", L"2400", L"4800", L"9600"}},
        {true, false, 0, baudAdapter},  {false, false, 0, {L"4800", L"9600"}},
        {true, false, 3, baudAdapter},  {true, true, 1, {L"115200"}},
        {false, true, 1, {L"115200"}},  {true, false, 2, {L"115200"}},
        {false, false, 2, {L"115200"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "download=" << c.download << " com=" << c.com << " class=" << c.partClass);
        EXPECT_EQ(RateListItems(c.download, c.com, c.partClass), c.items);
    }
}

}  // namespace
