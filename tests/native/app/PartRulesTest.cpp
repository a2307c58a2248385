#include "isp/PartRules.h"

#include <gtest/gtest.h>

namespace {

isp::BodyInfo Part(const wchar_t* name, std::uint32_t mask, std::uint32_t options = 0) {
    isp::BodyInfo b{};
    b.PartName = name;
    b.FamilyMask = mask;
    b.OptionCount = options;
    return b;
}

}  // namespace

TEST(PartRules, FamiliesAreListedInBitOrderAndUnnamedBitsAddNothing) {
    const isp::BodyInfo table[] = {Part(L"A", 1u << 3), Part(L"B", 1u << 0), Part(L"C", 1u << 13), Part(L"D", 1u << 14),
                                   Part(L"E", 1u << 31)};
    const std::uint32_t u = parts::FamilyUnion(table, 5);
    EXPECT_EQ(parts::ListedFamilyBits(u), (std::vector<unsigned>{0, 3, 13}));
    EXPECT_EQ(parts::FamilyUnion(nullptr, 0), 0u);
    EXPECT_TRUE(parts::ListedFamilyBits(0).empty());
}

TEST(PartRules, APartWithTwoFamilyBitsIsListedUnderNone) {
    const isp::BodyInfo table[] = {Part(L"A", 0b01), Part(L"AB", 0b11), Part(L"B", 0b10), Part(L"A2", 0b01)};
    const std::uint32_t u = parts::FamilyUnion(table, 4);
    EXPECT_EQ(parts::PartsOfFamily(table, 4, u, 0), (std::vector<std::uint32_t>{0, 3}));
    EXPECT_EQ(parts::PartsOfFamily(table, 4, u, 1), (std::vector<std::uint32_t>{2}));
    EXPECT_FALSE(parts::IsListedUnder(0b11, u, 0));
    EXPECT_FALSE(parts::IsListedUnder(0b11, u, 40));  // no shift past the word
    EXPECT_EQ(parts::FirstListedPart(table, 4, u), 0);
}

TEST(PartRules, FirstListedPartSkipsPartsNoFamilyShows) {
    const isp::BodyInfo table[] = {Part(L"two", 0b11), Part(L"high", 1u << 20), Part(L"B", 0b10), Part(L"A", 0b01)};
    const std::uint32_t u = parts::FamilyUnion(table, 4);
    EXPECT_EQ(parts::FirstListedPart(table, 4, u), 2);
    EXPECT_EQ(parts::FirstListedPart(table, 2, parts::FamilyUnion(table, 2)), -1);
    EXPECT_EQ(parts::FirstListedPart(nullptr, 0, 0), -1);
}

TEST(PartRules, SavedPartNumberOutsideTheTableStartsOnTheFirstRecord) {
    EXPECT_EQ(parts::ValidPartIndex(3, 4), 3);
    EXPECT_EQ(parts::ValidPartIndex(4, 4), 0);
    EXPECT_EQ(parts::ValidPartIndex(-1, 4), 0);
    EXPECT_EQ(parts::ValidPartIndex(0x7FFFFFFF, 4), 0);
    EXPECT_EQ(parts::ValidPartIndex(0, 0), 0);
}

TEST(PartRules, LowestBitAndOptionBoxes) {
    EXPECT_EQ(parts::LowestSetBit(0), -1);
    EXPECT_EQ(parts::LowestSetBit(0b1100), 2);
    EXPECT_EQ(parts::LowestSetBit(0x80000000u), 31);
    EXPECT_EQ(parts::VisibleOptions(Part(L"x", 1, 3)), 3u);
    EXPECT_EQ(parts::VisibleOptions(Part(L"x", 1, 8)), 8u);
    EXPECT_EQ(parts::VisibleOptions(Part(L"x", 1, 10)), 8u);
    EXPECT_TRUE(parts::IsFixedRateClass(1));
    EXPECT_TRUE(parts::IsFixedRateClass(2));
    EXPECT_FALSE(parts::IsFixedRateClass(0));
    EXPECT_FALSE(parts::IsFixedRateClass(3));
}
