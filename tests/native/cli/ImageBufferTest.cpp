// A buffer filled file by file with the window's rules: the bytes each
// sequence of loads leaves, worked out by hand, and the size test that
// refuses a binary file before it is read.
#include "cli/ImageBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using image::ImageStatus;
using Bytes = std::vector<std::uint8_t>;

Bytes B(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Step {
    const wchar_t* path;
    Bytes file;
    std::uint32_t offset;
    bool clear;
    ImageStatus status;
};

TEST(ImageBuffer, SequencesOfLoadsLeaveTheBytesTheWindowWould) {
    struct Case {
        const char* name;
        std::uint32_t capacity;
        std::vector<Step> steps;
        Bytes want;
    };
    // clang-format off
    const Case cases[] = {
        {"binary at 0", 16, {{L"a.bin", B({1, 2, 3}), 0, false, ImageStatus::Ok}}, B({1, 2, 3})},
        {"binary at an IAP address: erased bytes before it",
         16, {{L"a.BIN", B({1, 2}), 3, false, ImageStatus::Ok}}, B({0xFF, 0xFF, 0xFF, 1, 2})},
        {"second file merges over the first",
         16,
         {{L"a.bin", B({1, 2, 3, 4, 5}), 0, false, ImageStatus::Ok}, {L"b.bin", B({9, 9}), 1, false, ImageStatus::Ok}},
         B({1, 9, 9, 4, 5})},
        {"merge keeps the longer content", 16,
         {{L"a.bin", B({1}), 0, false, ImageStatus::Ok}, {L"b.bin", B({7}), 4, false, ImageStatus::Ok}},
         B({1, 0xFF, 0xFF, 0xFF, 7})},
        {"clear drops what was loaded before", 16,
         {{L"a.bin", B({1, 2, 3, 4, 5}), 0, false, ImageStatus::Ok}, {L"b.bin", B({9}), 2, true, ImageStatus::Ok}},
         B({0xFF, 0xFF, 9})},
        {"a .hex file is parsed, any letter case", 16,
         {{L"dir.v2\\fw.HeX", Text(":0300020011223395\n:00000001FF\n"), 0, false, ImageStatus::Ok}},
         B({0xFF, 0xFF, 0x11, 0x22, 0x33})},
        {"HEX text in a file named otherwise is HEX all the same", 64,
         {{L"fw.hex.txt", Text(":0300020011223395\n:00000001FF"), 0, false, ImageStatus::Ok}},
         B({0xFF, 0xFF, 0x11, 0x22, 0x33})},
        {"damaged HEX leaves the buffer as it was", 16,
         {{L"a.bin", B({1, 2}), 0, false, ImageStatus::Ok},
          {L"b.hex", Text(":0300020011223396\n"), 0, false, ImageStatus::Malformed}},
         B({1, 2})},
        {"too large leaves the buffer as it was", 4,
         {{L"a.bin", B({1, 2}), 0, false, ImageStatus::Ok}, {L"b.bin", B({3, 4}), 3, false, ImageStatus::TooLarge}},
         B({1, 2})},
        {"exactly full", 4, {{L"a.bin", B({1, 2}), 2, false, ImageStatus::Ok}}, B({0xFF, 0xFF, 1, 2})},
        {"HEX beyond the capacity", 4,
         {{L"a.hex", Text(":0300020011223395\n"), 2, false, ImageStatus::TooLarge}}, Bytes{}},
    };
    // clang-format on
    for (const Case& c : cases) {
        cli::ImageBuffer buffer(c.capacity);
        for (const Step& s : c.steps) {
            EXPECT_EQ(buffer.Load(s.file.data(), s.file.size(), s.path, s.offset, s.clear), s.status) << c.name;
        }
        EXPECT_EQ(buffer.Content(), c.want) << c.name;
    }
}

TEST(ImageBuffer, BinaryTooLargeIsKnownBeforeReading) {
    EXPECT_FALSE(cli::TooLargeBeforeReading(false, 100, 100, 0));
    EXPECT_TRUE(cli::TooLargeBeforeReading(false, 101, 100, 0));
    EXPECT_FALSE(cli::TooLargeBeforeReading(false, 60, 100, 40));
    EXPECT_TRUE(cli::TooLargeBeforeReading(false, 61, 100, 40));
    EXPECT_TRUE(cli::TooLargeBeforeReading(false, 1, 100, 101));  // the offset is past the part
    EXPECT_FALSE(cli::TooLargeBeforeReading(false, 0, 100, 100));
    EXPECT_TRUE(cli::TooLargeBeforeReading(false, 0x100000000ull, 0xFFFFFFFFu, 0));
    // A HEX text's length says nothing about its image.
    EXPECT_FALSE(cli::TooLargeBeforeReading(true, 1000000, 100, 0));
}

TEST(ImageBuffer, MessagesAreTheWindowsTexts) {
    EXPECT_EQ(cli::LoadErrorText(ImageStatus::Malformed), L"HEX file error");
    EXPECT_EQ(cli::LoadErrorText(ImageStatus::TooLarge), L"File is too large !");
}

}  // namespace
