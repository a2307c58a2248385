// New buffer content, load bookkeeping and the texts beside a buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/ByteSum.h"
#include "image/ImageCompose.h"
#include "tests/native/image/HexText.h"

using image::BufferSlot;
using image::ImageStatus;
using image::LoadState;

namespace {

std::vector<std::uint8_t> V(std::initializer_list<int> bytes) {
    std::vector<std::uint8_t> v;
    for (int b : bytes) v.push_back(static_cast<std::uint8_t>(b));
    return v;
}

TEST(ComposeBuffer, PlacesMergesAndTestsTheCapacity) {
    const std::vector<std::uint8_t> current = V({1, 2, 3, 4, 5, 6});
    const std::vector<std::uint8_t> img = V({0xA, 0xB});
    const struct {
        const char* name;
        bool merge;
        std::uint32_t offset, capacity;
        ImageStatus status;
        std::vector<std::uint8_t> content;
    } cases[] = {
        {"replace at 0", false, 0, 100, ImageStatus::Ok, V({0xA, 0xB})},
        {"replace at an offset fills below with 0xFF", false, 3, 100, ImageStatus::Ok, V({0xFF, 0xFF, 0xFF, 0xA, 0xB})},
        {"merge inside keeps the longer old content", true, 1, 100, ImageStatus::Ok, V({1, 0xA, 0xB, 4, 5, 6})},
        {"merge past the end grows with 0xFF between", true, 8, 100, ImageStatus::Ok,
         V({1, 2, 3, 4, 5, 6, 0xFF, 0xFF, 0xA, 0xB})},
        {"offset + length equal to the capacity fits", false, 98, 100, ImageStatus::Ok, {}},
        {"one byte more is too large", false, 99, 100, ImageStatus::TooLarge, {}},
        {"no wrap-around near 2^32", false, 0xFFFFFFFF, 0xFFFFFFFF, ImageStatus::TooLarge, {}},
        {"no wrap-around when merging", true, 0xFFFFFFFE, 0x10, ImageStatus::TooLarge, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> content = V({0x77});
        const ImageStatus s = image::ComposeBuffer(current.data(), current.size(), c.merge, c.offset, img.data(),
                                                   img.size(), c.capacity, content);
        ASSERT_EQ(s, c.status);
        if (s != ImageStatus::Ok) {
            EXPECT_EQ(content, V({0x77}));  // untouched
        } else if (!c.content.empty()) {
            EXPECT_EQ(content, c.content);
        } else {
            EXPECT_EQ(content.size(), 100u);
        }
    }
}

TEST(ComposeBuffer, EmptyImageAtOffsetZeroEmptiesTheBuffer) {
    std::vector<std::uint8_t> content = V({1});
    EXPECT_EQ(image::ComposeBuffer(nullptr, 0, false, 0, nullptr, 0, 0, content), ImageStatus::Ok);
    EXPECT_TRUE(content.empty());
}

// One load through ComposeLoad, from a slot and its current content.
struct Load {
    LoadState from;
    bool reloading;
    bool clearFirst;
    LoadState to;
    bool merged;
    bool mixedText;
};

TEST(ComposeLoad, StateTransitionsMergeAndPathText) {
    const Load table[] = {
        {LoadState::Empty, false, false, LoadState::OneFile, false, false},
        {LoadState::ReadBack, false, false, LoadState::OneFile, false, false},
        {LoadState::OneFile, false, false, LoadState::MixedFile, true, true},
        {LoadState::MixedFile, false, false, LoadState::MixedFile, true, true},
        {LoadState::OneFile, false, true, LoadState::OneFile, false, false},
        {LoadState::MixedFile, false, true, LoadState::OneFile, false, false},
        {LoadState::ReadBack, false, true, LoadState::OneFile, false, false},
        {LoadState::OneFile, true, false, LoadState::OneFile, true, false},
        {LoadState::MixedFile, true, false, LoadState::MixedFile, true, true},
        {LoadState::OneFile, true, true, LoadState::OneFile, true, false},  // a reload ignores ClearFirst
        {LoadState::MixedFile, true, true, LoadState::MixedFile, true, true},
    };
    const std::vector<std::uint8_t> current = V({1, 2, 3, 4});
    const std::vector<std::uint8_t> file = V({0xA});
    for (const Load& t : table) {
        SCOPED_TRACE(testing::Message() << "from " << static_cast<int>(t.from) << " reload " << t.reloading << " clear "
                                        << t.clearFirst);
        image::LoadRequest rq;
        rq.file = file.data();
        rq.fileLength = file.size();
        rq.current = current.data();
        rq.currentLength = current.size();
        rq.slot = {t.from, L"C:\\fw\\old.hex", L"HEX"};
        rq.insert = {1, t.clearFirst ? 1 : 0};
        rq.reloading = t.reloading;
        rq.path = L"C:\\fw\\new.Bin";
        rq.capacity = 16;
        const image::LoadOutcome out = image::ComposeLoad(rq);
        ASSERT_EQ(out.status, ImageStatus::Ok);
        EXPECT_EQ(out.slot.LoadState, t.to);
        EXPECT_EQ(out.content, t.merged ? V({1, 0xA, 3, 4}) : V({0xFF, 0xA}));
        const std::wstring path = t.reloading ? L"C:\\fw\\old.hex" : L"C:\\fw\\new.Bin";
        EXPECT_EQ(out.slot.FilePath, path);
        EXPECT_EQ(out.slot.FileExt, t.reloading ? L"HEX" : L"BIN");
        EXPECT_EQ(out.pathText, t.mixedText ? path + L" (Mixed file)" : path);
    }
}

TEST(ComposeLoad, RefusalsLeaveNothingToApply) {
    const std::string damaged = hextest::Rec(0, 0, "01") + "\n:0100010002FD\n";
    const std::string big = hextest::Rec(0, 0x10, "0102") + "\n";
    const struct {
        const char* name;
        std::string file;
        bool isHex;
        std::uint32_t offset, capacity;
        ImageStatus status;
    } cases[] = {
        {"damaged HEX", damaged, true, 0, 0x100, ImageStatus::Malformed},
        {"HEX image ends beyond the capacity", big, true, 0, 0x11, ImageStatus::TooLarge},
        {"HEX image pushed beyond by the offset", big, true, 0xF0, 0x100, ImageStatus::TooLarge},
        {"offset beyond the capacity, empty HEX", ":00000001FF\n", true, 0x101, 0x100, ImageStatus::TooLarge},
        {"binary one byte too long", std::string(0x101, 'x'), false, 0, 0x100, ImageStatus::TooLarge},
        {"binary at an offset near 2^32", "ab", false, 0xFFFFFFFF, 0xFFFFFFFF, ImageStatus::TooLarge},
    };
    const std::vector<std::uint8_t> current = V({9, 9});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        image::LoadRequest rq;
        rq.file = reinterpret_cast<const std::uint8_t*>(c.file.data());
        rq.fileLength = c.file.size();
        rq.isHex = c.isHex;
        rq.current = current.data();
        rq.currentLength = current.size();
        rq.slot = {LoadState::OneFile, L"a.hex", L"HEX"};
        rq.insert = {c.offset, 1};
        rq.path = L"b.hex";
        rq.capacity = c.capacity;
        const image::LoadOutcome out = image::ComposeLoad(rq);
        EXPECT_EQ(out.status, c.status);
        EXPECT_TRUE(out.content.empty());
        EXPECT_TRUE(out.pathText.empty());
    }
}

TEST(ComposeLoad, HexImageIsPlacedAtTheInsertOffset) {
    // A HEX file's address 0 lands at the insert offset, like a binary file.
    const std::string hex = hextest::Rec(0, 2, "AABB") + "\n:00000001FF\n";
    image::LoadRequest rq;
    rq.file = reinterpret_cast<const std::uint8_t*>(hex.data());
    rq.fileLength = hex.size();
    rq.isHex = true;
    rq.insert = {0x10, 0};
    rq.path = L"x.hex";
    rq.capacity = 0x14;
    const image::LoadOutcome out = image::ComposeLoad(rq);
    ASSERT_EQ(out.status, ImageStatus::Ok);
    std::vector<std::uint8_t> expected(0x14, 0xFF);
    expected[0x12] = 0xAA;
    expected[0x13] = 0xBB;
    EXPECT_EQ(out.content, expected);
    rq.capacity = 0x13;
    EXPECT_EQ(image::ComposeLoad(rq).status, ImageStatus::TooLarge);
}

TEST(LoadState, ReadBackAndPartChangeForgetTheFile) {
    EXPECT_EQ(image::SlotAfterReadBack().LoadState, LoadState::ReadBack);
    EXPECT_TRUE(image::SlotAfterReadBack().FilePath.empty());
    EXPECT_EQ(image::SlotAfterPartChange().LoadState, LoadState::Empty);
    EXPECT_TRUE(image::SlotAfterPartChange().FileExt.empty());
}

TEST(LoadState, ExtensionDecidesHex) {
    const struct {
        const wchar_t* path;
        const wchar_t* ext;
        bool hex;
    } cases[] = {
        {L"C:\\fw\\app.hex", L"HEX", true},    {L"C:\\fw\\app.Hex", L"HEX", true},
        {L"C:\\fw\\app.ihx", L"IHX", false},   {L"C:\\fw\\app", L"", false},
        {L"C:\\fw.d\\app", L"", false},        {L"C:\\fw\\app.hex.bin", L"BIN", false},
        {L"C:\\fw\\app.hexx", L"HEXX", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ext);
        EXPECT_EQ(image::UpperExtension(c.path), c.ext);
        EXPECT_EQ(image::IsHexExtension(image::UpperExtension(c.path)), c.hex);
    }
}

TEST(ByteSum, WrapsAt16BitsAndFormats) {
    const std::string abc = "abc";
    const struct {
        std::vector<std::uint8_t> bytes;
        const wchar_t* text;
    } cases[] = {
        {{}, L"0000"},
        {std::vector<std::uint8_t>(abc.begin(), abc.end()), L"0126"},
        {std::vector<std::uint8_t>(65536, 0xFF), L"0000"},
        {std::vector<std::uint8_t>(65535, 0xFF), L"FF01"},
        {std::vector<std::uint8_t>(0x1000001, 0x01), L"0001"},  // longer than one inner chunk
    };
    for (const auto& c : cases) {
        EXPECT_EQ(image::ChecksumText(image::ByteSum16(c.bytes.data(), c.bytes.size())), c.text);
    }
    EXPECT_EQ(image::SizeText(0), L"0");
    EXPECT_EQ(image::SizeText(1048576), L"1048576");
}

}  // namespace
