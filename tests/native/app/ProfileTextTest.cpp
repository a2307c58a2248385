// Setting.ini's text read and changed without the profile functions (for a
// path those functions cannot reach), and the long path form.
#include "framework/LongPath.h"
#include "text/ProfileText.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <string>

namespace {

using profile::Find;
using profile::Set;

TEST(ProfileText, FindReadsAValueAsTheProfileFunctionsDo) {
    struct Case {
        const char* what;
        const wchar_t* text;
        std::optional<std::wstring> value;  // of key "Language" in section "Setting"
    };
    const Case cases[] = {
        {"plain", L"[Setting]\r\nLanguage=1\r\n", L"1"},
        {"no break at the end", L"[Setting]\nLanguage=1", L"1"},
        {"names in another case, blanks around", L"  [setting]\n  LANGUAGE  =  1  \n", L"1"},
        {"only the first section and key count", L"[Setting]\nLanguage=1\nlanguage=2\n[SETTING]\nLanguage=3\n", L"1"},
        {"a later section of the same name is not looked in",
         L"[Other]\n[Setting]\nKey=x\n[Other]\nLanguage=2\n[Setting]\nLanguage=3\n", std::nullopt},
        {"key of another section", L"[Other]\nLanguage=1\n[Setting]\nLanguageX=2\n", std::nullopt},
        {"key before any section", L"Language=1\n[Setting]\n", std::nullopt},
        {"commented out", L"[Setting]\n;Language=1\n", std::nullopt},
        {"no section", L"", std::nullopt},
        {"a '[' line without ']' is no section", L"[Setting\nLanguage=1\n", std::nullopt},
        {"no '=': an empty value", L"[Setting]\nLanguage\n", L""},
        {"empty value", L"[Setting]\nLanguage=\n", L""},
        {"the first '=' ends the name", L"[Setting]\nLanguage=a=b\n", L"a=b"},
        {"one pair of quotes comes off", L"[Setting]\nLanguage=\" C:\\a b \"\n", L" C:\\a b "},
        {"single quotes too", L"[Setting]\nLanguage=''x''\n", L"'x'"},
        {"quotes that do not pair stay", L"[Setting]\nLanguage=\"C:\\a'\n", L"\"C:\\a'"},
        {"a lone quote stays", L"[Setting]\nLanguage=\"\n", L"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Find(c.text, L"Setting", L"Language"), c.value);
    }
}

TEST(ProfileText, SetChangesOneLineAndKeepsEveryOtherByte) {
    struct Case {
        const char* what;
        const wchar_t* before;
        const wchar_t* after;  // with Language set to 1 in section Setting
    };
    const Case cases[] = {
        {"empty file", L"", L"[Setting]\r\nLanguage=1\r\n"},
        {"value replaced, other lines and breaks untouched",
         L"; kept\n[Setting]\nLastPartNo=3\r\n  language = 0 \nLoadFilePath=C:\\x\n[Other]\nLanguage=7\n",
         L"; kept\n[Setting]\nLastPartNo=3\r\nLanguage=1\nLoadFilePath=C:\\x\n[Other]\nLanguage=7\n"},
        {"added after the section's last line, before blank lines",
         L"[Setting]\r\nLastPartNo=3\r\n\r\n[Other]\r\nA=1\r\n",
         L"[Setting]\r\nLastPartNo=3\r\nLanguage=1\r\n\r\n[Other]\r\nA=1\r\n"},
        {"added to a section at the end without a break", L"[Setting]\r\nLastPartNo=3",
         L"[Setting]\r\nLastPartNo=3\r\nLanguage=1\r\n"},
        {"added to an empty section", L"[Setting]\n[Other]\n", L"[Setting]\nLanguage=1\r\n[Other]\n"},
        {"section added after a last line without a break", L"[Other]\r\nA=1",
         L"[Other]\r\nA=1\r\n[Setting]\r\nLanguage=1\r\n"},
        {"a lone CR at the end stays", L"[Setting]\r", L"[Setting]\r\r\nLanguage=1\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Set(c.before, L"Setting", L"Language", L"1"), c.after);
    }
}

TEST(ProfileText, WhatSetWritesFindReadsBack) {
    const std::wstring longPath = L"D:\\" + std::wstring(40000, L'\u56FA') + L"\\";
    std::wstring text = L"[Other]\nLoadFilePath=elsewhere\n";
    for (const std::wstring& value : {std::wstring(L"C:\\\u56FA\u4EF6\\"), longPath, std::wstring(L"")}) {
        text = Set(text, L"Setting", L"LoadFilePath", value);
        EXPECT_EQ(Find(text, L"Setting", L"LoadFilePath"), value);
        EXPECT_EQ(Find(text, L"Other", L"LoadFilePath"), std::wstring(L"elsewhere"));
    }
}

TEST(ProfileText, ParseIntTakesTheLeadingNumber) {
    struct Case {
        const wchar_t* value;
        int number;
    };
    const Case cases[] = {
        {L"1", 1},
        {L"-1", -1},
        {L" \t+12", 12},
        {L"12ab", 12},
        {L"ab", 0},
        {L"-", 0},
        {L"2147483647", 2147483647},
        {L"-2147483648", -2147483647 - 1},
        {L"4294967295", -1},
        {L"4294967297", 1},
        {L"99999999999999999999", 1661992959},
        {L"0x10", 16},
        {L"-0x10", -16},
        {L"0x1F", 31},
        {L"0x1g", 1},
        {L"0X1F", 0},
        {L"0x", 0},
        {L"0b101", 5},
        {L"0o17", 15},
        {L"019", 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << std::string(c.value, c.value + std::wcslen(c.value)));
        EXPECT_EQ(profile::ParseInt(c.value), c.number);
    }
}

TEST(ProfileText, Utf16FilesInEitherByteOrder) {
    const std::wstring text = L"[Setting]\r\nLoadFilePath=C:\\\u56FA\u4EF6\\\r\n";
    const std::string little = profile::EncodeUtf16Le(text);
    ASSERT_EQ(little.size(), 2 + 2 * text.size());
    EXPECT_EQ(little.substr(0, 4), std::string("\xFF\xFE[\0", 4));
    EXPECT_EQ(profile::DecodeUtf16(little), text);

    std::string big("\xFE\xFF", 2);
    for (std::size_t i = 2; i < little.size(); i += 2) big += {little[i + 1], little[i]};
    EXPECT_EQ(profile::DecodeUtf16(big), text);

    EXPECT_EQ(profile::DecodeUtf16(little + "x"), text) << "an odd last byte is dropped";
    EXPECT_EQ(profile::DecodeUtf16(std::string("\xFF\xFE", 2)), std::wstring());
    EXPECT_EQ(profile::DecodeUtf16("[Setting]\r\n"), std::nullopt);
    EXPECT_EQ(profile::DecodeUtf16("\xEF\xBB\xBF[Setting]"), std::nullopt);
    EXPECT_EQ(profile::DecodeUtf16("\xFF"), std::nullopt);
    EXPECT_EQ(profile::DecodeUtf16(""), std::nullopt);
}

TEST(LongPath, LongFormOfDriveAndSharePathsOnly) {
    struct Case {
        const wchar_t* path;
        const wchar_t* longForm;
    };
    const Case cases[] = {
        {L"C:\\Tools\\Setting.ini", L"\\\\?\\C:\\Tools\\Setting.ini"},
        {L"z:\\", L"\\\\?\\z:\\"},
        {L"\\\\server\\share\\Tools\\", L"\\\\?\\UNC\\server\\share\\Tools\\"},
        {L"\\\\?\\C:\\Tools\\", L"\\\\?\\C:\\Tools\\"},
        {L"\\\\?\\UNC\\server\\share\\", L"\\\\?\\UNC\\server\\share\\"},
        {L"\\\\.\\COM12", L"\\\\.\\COM12"},
        {L"C:Tools", L"C:Tools"},
        {L"Tools\\Setting.ini", L"Tools\\Setting.ini"},
        {L"\\Tools\\Setting.ini", L"\\Tools\\Setting.ini"},
        {L"\\\\", L"\\\\"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "path of " << std::wcslen(c.path)
                                        << " characters: " << std::string(c.path, c.path + std::wcslen(c.path)));
        EXPECT_EQ(paths::LongForm(c.path), c.longForm);
    }
}

TEST(LongPath, ForApiKeepsPlainPathsUpToTheirLimit) {
    const std::wstring folder = L"C:\\" + std::wstring(240, L'a') + L"\\";
    const std::wstring fits = folder + std::wstring(paths::kMaxPlainPath - folder.size(), L'b');
    ASSERT_EQ(fits.size(), 259u);
    EXPECT_EQ(paths::ForApi(fits), fits);
    EXPECT_EQ(paths::ForApi(fits + L"b"), L"\\\\?\\" + fits + L"b");
    EXPECT_EQ(paths::ForApi(L"\\\\srv\\" + fits), L"\\\\?\\UNC\\srv\\" + fits);
}

}  // namespace
