// The address rule of the insert-area dialog's OK.
#include <gtest/gtest.h>

#include "image/InsertAddress.h"

namespace {

TEST(InsertAddress, ReadsTheEditAsHex) {
    const struct {
        const wchar_t* text;
        std::uint32_t value;
    } cases[] = {
        {L"", 0},
        {L"00008000", 0x8000},
        {L"1g23", 1},
        {L"0x8000", 0x8000},
        {L"0X8000", 0x8000},
        {L"0x", 0},
        {L"0xg", 0},
        {L"  \t1f", 0x1F},
        {L"+10", 0x10},
        {L"-1", 0xFFFFFFFF},
        {L"-0x10", 0xFFFFFFF0},
        {L"- 10", 0},
        {L"abcdef", 0xABCDEF},
        {L"FFFFFFFF", 0xFFFFFFFF},
        {L"100000000", 0xFFFFFFFF},
        {L"-100000000", 0xFFFFFFFF},
        {L"0000000000000012", 0x12},
        {L"g", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "text " << testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(image::ParseInsertAddress(c.text), c.value);
        EXPECT_EQ(image::InsertOffsetOnOk(true, c.text), c.value);
        EXPECT_EQ(image::InsertOffsetOnOk(false, c.text), 0u);
    }
}

TEST(InsertAddress, DefaultAddressText) {
    EXPECT_EQ(image::DataAddressText(0x8000), L"00008000");
    EXPECT_EQ(image::DataAddressText(0xFFFFFFFF), L"FFFFFFFF");
    EXPECT_EQ(image::ParseInsertAddress(image::DataAddressText(0x1A2B3C)), 0x1A2B3Cu);
}

}  // namespace
