#include "text/LogFormat.h"
#include "update/VersionText.h"

#include <gtest/gtest.h>

TEST(LogFormat, HeadingPadsToThreeDigitsAndKeepsLargerNumbers) {
    EXPECT_EQ(logfmt::Heading(0, L"Open Port"), L"000 - Open Port =>");
    EXPECT_EQ(logfmt::Heading(7, L"\u5F00\u542F\u4E32\u53E3"), L"007 - \u5F00\u542F\u4E32\u53E3 =>");
    EXPECT_EQ(logfmt::Heading(100, L"Load File"), L"100 - Load File =>");
    EXPECT_EQ(logfmt::Heading(12345, L"Dump Info"), L"12345 - Dump Info =>");
}

TEST(LogFormat, ElapsedTimeIsRightAcrossTheTickCounterWrap) {
    struct Case {
        std::uint32_t start, now;
        const wchar_t* tail;
    } cases[] = {
        {1000, 1065, L"   [0.065\"]\r\n"},
        {0xFFFFFFF0u, 0x00000031u, L"   [0.065\"]\r\n"},  // wrapped
        {5, 5, L"   [0.000\"]\r\n"},
        {0, 123456, L"   [123.456\"]\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(logfmt::ElapsedTail(logfmt::ElapsedSeconds(c.start, c.now)), c.tail) << c.start << " " << c.now;
}

TEST(LogFormat, ARepeatJobClearsTheLogBeforeEveryHundredthHeadingButNotTheFirst) {
    for (int n : {100, 200, 1000}) EXPECT_TRUE(logfmt::ClearsLogBefore(n)) << n;
    for (int n : {0, 1, 99, 101, 199}) EXPECT_FALSE(logfmt::ClearsLogBefore(n)) << n;
}

TEST(VersionText, BytesFromTheMostSignificantDown) {
    EXPECT_EQ(version::Dotted(0x01000007u), L"1.0.0.7");
    EXPECT_EQ(version::Dotted(0x01020304u), L"1.2.3.4");
    EXPECT_EQ(version::Dotted(0xFF00FF10u), L"255.0.255.16");
}
