// The version check's rules: keys by edition, the text comparison, the
// addresses that may reach the browser, and the texts it shows.
#include "update/CheckRules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using update::Outcome;

constexpr std::uint32_t kLibrary1234 = 0x01020304u;

// A version file as the profile functions read it: "Fail" for a missing key.
struct FakeIni {
    std::map<std::wstring, std::wstring> values;  // "Section/Key" -> value
    std::vector<std::wstring> asked;

    update::ReadValue Reader() {
        return [this](const wchar_t* section, const wchar_t* key) {
            const std::wstring name = std::wstring(section) + L"/" + key;
            asked.push_back(name);
            const auto it = values.find(name);
            return it == values.end() ? std::wstring(update::kMissingValue) : it->second;
        };
    }
};

TEST(CheckRules, EditionOneReadsOnlyTheChinaKeysAndEveryOtherOnlyTheUniversalKeys) {
    struct Case {
        std::int32_t edition;
        std::vector<std::wstring> asked;
        const wchar_t* version;
        const wchar_t* url;
    } cases[] = {
        {1, {L"Tarvel/China_Version", L"Tarvel/China_URL"}, L"2.0.0.0", L"https://cn.example/"},
        {0, {L"Tarvel/Universal_Version", L"Tarvel/Universal_URL"}, L"3.0.0.0", L"https://www.example/"},
        {2, {L"Tarvel/Universal_Version", L"Tarvel/Universal_URL"}, L"3.0.0.0", L"https://www.example/"},
        {-1, {L"Tarvel/Universal_Version", L"Tarvel/Universal_URL"}, L"3.0.0.0", L"https://www.example/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edition);
        FakeIni ini;
        ini.values = {{L"Tarvel/China_Version", L"2.0.0.0"},
                      {L"Tarvel/China_URL", L"https://cn.example/"},
                      {L"Tarvel/Universal_Version", L"3.0.0.0"},
                      {L"Tarvel/Universal_URL", L"https://www.example/"}};
        const update::ServerInfo info = update::ReadServerInfo(c.edition, ini.Reader());
        EXPECT_EQ(ini.asked, c.asked) << "the version first, then the URL, of one edition only";
        EXPECT_EQ(info.version, c.version);
        EXPECT_EQ(info.url, c.url);
    }
}

TEST(CheckRules, ChinaEditionWithOnlyUniversalKeysHasNoVersion) {
    FakeIni ini;
    ini.values = {{L"Tarvel/Universal_Version", L"1.2.3.5"}, {L"Tarvel/Universal_URL", L"https://www.example/"}};
    const update::ServerInfo info = update::ReadServerInfo(1, ini.Reader());
    EXPECT_EQ(update::Judge(info.version, kLibrary1234), Outcome::ServerInfoError);
    EXPECT_EQ(info.url, L"Fail");
}

TEST(CheckRules, AnyTextOtherThanTheDottedLibraryVersionIsNew) {
    const std::pair<const wchar_t*, Outcome> cases[] = {
        {L"1.2.3.4", Outcome::SameVersion},
        {L"1.2.3.5", Outcome::NewVersion},
        {L"1.2.3.3", Outcome::NewVersion},   // lower still counts: no ordering
        {L"01.2.3.4", Outcome::NewVersion},  // leading zeros are a different text
        {L"1.02.3.4", Outcome::NewVersion},
        {L"1.2.3.4 ", Outcome::NewVersion},
        {L"v1.2.3.4", Outcome::NewVersion},
        {L"", Outcome::NewVersion},  // a key present but empty is a text, not a missing key
        {L"Fail", Outcome::ServerInfoError},
        {L"fail", Outcome::NewVersion},  // case-sensitive: only the profile default means missing
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(update::Judge(text, kLibrary1234), expected);
    }
    EXPECT_EQ(update::Judge(L"255.0.255.16", 0xFF00FF10u), Outcome::SameVersion);
}

TEST(CheckRules, OnlyHttpAndHttpsPagesMayBeOpened) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"https://www.tessaro.example/download", true},
        {L"http://www.tessaro.example/", true},
        {L"HTTPS://WWW.TESSARO.EXAMPLE/", true},
        {L"http://127.0.0.1:8080/page?x=1&y=2#top", true},
        {L"https://例子.example/下载", true},
        {L"Fail", false},
        {L"", false},
        {L"http://", false},
        {L"https:///etc/passwd", false},
        {L"https:/www.tessaro.example/", false},
        {L"file:///C:/Windows/win.ini", false},
        {L"file://server/share/setup.exe", false},
        {L"\\\\server\\share\\setup.exe", false},
        {L"C:\\Windows\\notepad.exe", false},
        {L"notepad.exe", false},
        {L"ftp://files.example/", false},
        {L"javascript:alert(1)", false},
        {L" http://www.tessaro.example/", false},
        {L"http://www.tessaro.example/a b", false},
        {L"http://www.tessaro.example/\" --new-window \"file:///C:/", false},
        {L"http://www.tessaro.example\\..\\x", false},
        {L"http://www.tessaro.example/\r\n", false},
        {L"http://www.tessaro.example/\t", false},
    };
    for (const auto& [url, ok] : cases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(update::IsWebPageUrl(url), ok);
    }
}

TEST(CheckRules, VersionFileAddressIsBuiltOnlyFromAWebServer) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"https://www.tessaro.example", L"https://www.tessaro.example/files/Download/Tools/tools_version.ini"},
        {L"https://www.tessaro.example/", L"https://www.tessaro.example/files/Download/Tools/tools_version.ini"},
        {L"http://127.0.0.1:4321//", L"http://127.0.0.1:4321/files/Download/Tools/tools_version.ini"},
        {L"file:///C:/Windows", L""},
        {L"\\\\server\\share", L""},
        {L"", L""},
    };
    for (const auto& [server, url] : cases) {
        SCOPED_TRACE(server);
        EXPECT_EQ(update::VersionFileUrl(server), url);
    }
}

TEST(CheckRules, StartupAsksOnlyForANewVersionWithAPageToOpen) {
    struct Case {
        const wchar_t* version;
        const wchar_t* url;
        bool ask;
    } cases[] = {
        {L"1.2.3.5", L"https://www.tessaro.example/", true}, {L"1.2.3.4", L"https://www.tessaro.example/", false},
        {L"Fail", L"https://www.tessaro.example/", false},   {L"1.2.3.5", L"Fail", false},
        {L"1.2.3.5", L"C:\\Windows\\notepad.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.version) + L" " + c.url);
        EXPECT_EQ(update::OfferAtStartup({c.version, c.url}, kLibrary1234), c.ask);
    }
}

TEST(CheckRules, BoundComesFromTheSettingWithinLimits) {
    const std::pair<int, int> cases[] = {
        {0, 15000}, {-5, 15000}, {1, 1000}, {2500, 2500}, {15000, 15000}, {60000, 60000}, {999999, 60000},
    };
    for (const auto& [setting, bound] : cases) EXPECT_EQ(update::CheckBoundMs(setting), bound) << setting;
}

TEST(CheckRules, TextsInBothLanguages) {
    struct Case {
        Outcome outcome;
        int language;
        const wchar_t* text;
    } cases[] = {
        {Outcome::NewVersion, 0, L"Have new version(v1.2.3.5)\n Please click Download to update"},
        {Outcome::NewVersion, 1,
         L"\u6709\u65B0\u7248\u672C(v1.2.3.5)\n \u8BF7\u70B9\u51FB\u4E0B\u8F7D\u8FDB\u884C\u66F4\u65B0"},
        {Outcome::SameVersion, 0, L"Already the latest version !"},
        {Outcome::SameVersion, 1, L"\u5DF2\u7ECF\u662F\u6700\u65B0\u7248\u672C !"},
        {Outcome::ServerInfoError, 0, L"Server information error !"},
        {Outcome::ServerInfoError, 2, L"\u4F3A\u670D\u5668\u8D44\u8BAF\u9519\u8BEF !"},
        {Outcome::CantConnect, 0, L"Can't connect server !"},
        {Outcome::CantConnect, 1, L"\u65E0\u6CD5\u8FDE\u63A5\u4F3A\u670D\u5668 !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(update::OutcomeText(c.outcome, L"1.2.3.5", c.language), c.text);
    }
    EXPECT_EQ(update::AboutCaption(), L"Update Tarvel");
    EXPECT_EQ(update::AboutVersionLine(0x01020304u), L"Tarvel v1.2.3.4");
    EXPECT_EQ(update::AboutNoticeLine(0), L"Copyright (C) Tessaro");
    EXPECT_EQ(update::AboutNoticeLine(1), L"Copyright (C) \u6CF0\u7D22\u79D1\u6280");
}

}  // namespace
