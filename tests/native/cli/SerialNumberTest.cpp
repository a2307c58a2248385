// Serial numbers in each board's copy of the image: byte order, the field's
// bounds, and a sequence that refuses to wrap instead of repeating numbers.
#include "cli/SerialNumber.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using cli::SerialField;
using cli::SerialProblem;

TEST(SerialNumber, WritesExactlyTheFieldInEitherByteOrder) {
    struct Case {
        unsigned width;
        bool big;
        std::uint64_t value;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {1, false, 0xAB, {0xAB}},
        {2, false, 0x1234, {0x34, 0x12}},
        {2, true, 0x1234, {0x12, 0x34}},
        {3, true, 0x0A0B0C, {0x0A, 0x0B, 0x0C}},
        {4, false, 1, {1, 0, 0, 0}},
        {4, true, 1, {0, 0, 0, 1}},
        {8, false, 0x0102030405060708ull, {8, 7, 6, 5, 4, 3, 2, 1}},
        {8, true, 0x0102030405060708ull, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> image(16, 0xEE);
        SerialField f;
        f.address = 5;
        f.width = c.width;
        f.bigEndian = c.big;
        cli::WriteSerial(image.data(), f, c.value);
        for (std::size_t i = 0; i < image.size(); ++i) {
            const bool inField = i >= 5 && i < 5 + c.width;
            const std::uint8_t want = inField ? c.bytes[i - 5] : 0xEE;
            EXPECT_EQ(image[i], want) << "width " << c.width << (c.big ? " big" : " little") << " byte " << i;
        }
    }
}

// A field must lie inside the part; one past the loaded image lengthens the
// image with erased bytes and leaves every loaded byte as it was.
TEST(SerialNumber, FieldInsideThePartExtendsTheImageWithErasedBytes) {
    struct Case {
        std::uint32_t address;
        unsigned width;
        std::size_t imageSize;
        std::uint32_t capacity;
        SerialProblem want;
        std::size_t extendedSize;
    };
    const Case cases[] = {
        {0, 4, 4, 64, SerialProblem::None, 4},
        {60, 4, 64, 64, SerialProblem::None, 64},                  // ends on the last byte
        {30, 4, 33, 64, SerialProblem::None, 34},                  // one byte beyond the loaded image
        {0x7FF0, 4, 0x1000, 0x8000, SerialProblem::None, 0x7FF4},  // serial block at the top, short application
        {60, 4, 0, 64, SerialProblem::None, 64},                   // nothing loaded at all
        {61, 4, 64, 64, SerialProblem::PastCapacity, 0},
        {61, 4, 10, 64, SerialProblem::PastCapacity, 0},
        {0xFFFFFFFF, 8, 64, 64, SerialProblem::PastCapacity, 0},  // no wrap of address + width
        {0, 0, 64, 64, SerialProblem::Width, 0},
        {0, 9, 64, 64, SerialProblem::Width, 0},
    };
    for (const Case& c : cases) {
        SerialField f;
        f.address = c.address;
        f.width = c.width;
        SCOPED_TRACE(std::to_string(c.address) + "+" + std::to_string(c.width) + " in " + std::to_string(c.imageSize));
        ASSERT_EQ(cli::CheckField(f, c.capacity), c.want);
        if (c.want != SerialProblem::None) {
            EXPECT_FALSE(cli::DescribeProblem(c.want, f, c.capacity).empty());
            continue;
        }
        std::vector<std::uint8_t> image(c.imageSize, 0x11);
        EXPECT_EQ(cli::ExtendForField(image, f), c.extendedSize > c.imageSize);
        ASSERT_EQ(image.size(), c.extendedSize);
        for (std::size_t i = 0; i < image.size(); ++i) {
            ASSERT_EQ(image[i], i < c.imageSize ? 0x11 : 0xFF) << "byte " << i;
        }
        cli::WriteSerial(image.data(), f, 0x0102030405060708ull);
        EXPECT_EQ(image[c.address], 0x08);
    }
}

TEST(SerialNumber, SequenceStopsWhereTheFieldEndsInsteadOfWrapping) {
    struct Case {
        std::uint64_t start, step, n;
        unsigned width;
        bool ok;
        std::uint64_t value;
    };
    const Case cases[] = {
        {1, 1, 0, 4, true, 1},
        {1000, 10, 3, 4, true, 1030},
        {250, 5, 1, 1, true, 255},
        {250, 5, 2, 1, false, 0},  // 260 does not fit one byte
        {256, 1, 0, 1, false, 0},  // the start itself does not fit
        {0xFFFF, 1, 0, 2, true, 0xFFFF},
        {0, 0x8000000000000000ull, 1, 8, true, 0x8000000000000000ull},
        {0, 0x8000000000000000ull, 2, 8, false, 0},  // would wrap 64 bits
        {UINT64_MAX, 1, 0, 8, true, UINT64_MAX},
        {UINT64_MAX - 1, 1, 2, 8, false, 0},
        {5, 3, 0x5555555555555553ull, 8, true, UINT64_MAX - 1},
    };
    for (const Case& c : cases) {
        std::uint64_t v = 0;
        EXPECT_EQ(cli::NthSerial(c.start, c.step, c.n, c.width, &v), c.ok)
            << c.start << " + " << c.n << " * " << c.step << " in " << c.width;
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

}  // namespace
