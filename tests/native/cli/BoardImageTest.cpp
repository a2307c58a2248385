// A board's image: its serial number first, its checksums second, so that a
// checksum over the serial field matches the board's own bytes; and the steps
// a run refuses before its first board.
#include "cli/BoardImage.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "image/Crc32.h"

namespace {

std::uint32_t StoredLittle32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(BoardImage, TheChecksumCoversTheBoardsOwnSerialNumber) {
    cli::SerialField field;
    field.address = 0x20;
    field.width = 4;
    image::ChecksumStep crc;
    crc.start = 0;
    crc.end = 0x3B;
    crc.address = 0x3C;  // past the loaded image: extended with 0xFF
    std::vector<std::uint8_t> run(0x24, 0x5A);
    std::uint32_t previous = 0;
    for (std::uint64_t number : {1000u, 1001u}) {
        cli::SerialValue serial;
        serial.number = number;
        std::vector<std::uint8_t> board = run;
        std::vector<image::ChecksumValue> values;
        ASSERT_EQ(cli::MakeBoardImage(board, field, &serial, {crc}, 0x8000, &values), "");
        ASSERT_EQ(board.size(), 0x40u);
        EXPECT_EQ(board[0x20], number & 0xFF);
        EXPECT_EQ(board[0x30], 0xFF);
        const std::uint32_t own = image::Crc32(board.data(), 0x3C);
        EXPECT_EQ(StoredLittle32(board, 0x3C), own);
        ASSERT_EQ(values.size(), 1u);
        EXPECT_EQ(values[0].value, own);
        EXPECT_NE(own, previous) << "each board's CRC is of its own serial";
        previous = own;
        char expected[32];
        std::snprintf(expected, sizeof expected, "crc32@0x003C=%08X", static_cast<unsigned>(own));
        EXPECT_EQ(cli::ChecksumRecordTexts(values), std::vector<std::string>{expected});
    }
    EXPECT_EQ(run.size(), 0x24u) << "the run's image stays as it was";
}

TEST(BoardImage, StepsThatCannotRunOnThePartAreRefusedNamingTheStep) {
    cli::SerialField field;
    field.address = 0x7FF0;
    field.width = 4;
    struct Case {
        const char* step;
        bool withSerial;
        const wchar_t* mentions;  // empty: no problem
    };
    const Case cases[] = {
        {"crc32:0-7FFB@7FFC", true, L""},
        {"crc32:0-7FFF@8000", false, L"lies past the area's 32768 bytes"},
        {"crc32:0-7FFB@7FFE", false, L"the value at 0x7FFE lies past"},
        {"crc16-xmodem:0-7FEF@7FF2", true, L"would overwrite the serial field at 0x7FF0"},
        {"sum8:0-7FEE@7FEF", true, L""},
        {"crc16-xmodem:0-7FEF@7FF2", false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        image::ChecksumStep step;
        std::string why;
        ASSERT_TRUE(image::ParseChecksumStep(c.step, &step, &why)) << why;
        const std::wstring problem = cli::ChecksumStepsProblem({step}, 0x8000, c.withSerial ? &field : nullptr);
        if (*c.mentions == 0) {
            EXPECT_EQ(problem, L"");
        } else {
            EXPECT_EQ(problem.rfind(L"--checksum ", 0), 0u);
            EXPECT_NE(problem.find(c.mentions), std::wstring::npos) << std::string(problem.begin(), problem.end());
        }
    }
}

}  // namespace
