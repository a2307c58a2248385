// Checksums written into an image: every algorithm against its published
// check value, the same values as srec_cat's filters on random images and
// ranges in both byte orders, bad steps refused with their reason, and steps
// that run in order on an image they extend with erased bytes.
#include "image/Checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

using image::ChecksumAlgorithm;

std::vector<std::uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Checksum, EachAlgorithmGivesItsCatalogueCheckValue) {
    struct Case {
        ChecksumAlgorithm algorithm;
        std::uint32_t check;  // of "123456789"
    };
    const Case cases[] = {
        {ChecksumAlgorithm::Crc32, 0xCBF43926},       {ChecksumAlgorithm::Crc32c, 0xE3069283},
        {ChecksumAlgorithm::Crc16CcittFalse, 0x29B1}, {ChecksumAlgorithm::Crc16Xmodem, 0x31C3},
        {ChecksumAlgorithm::Crc16Modbus, 0x4B37},     {ChecksumAlgorithm::Sum8, 0xDD},
        {ChecksumAlgorithm::Sum16, 0x01DD},           {ChecksumAlgorithm::Sum8Twos, 0x23},
    };
    const std::vector<std::uint8_t> digits = Text("123456789");
    for (const Case& c : cases)
        EXPECT_EQ(image::ComputeChecksum(c.algorithm, digits.data(), digits.size()), c.check)
            << image::ChecksumName(c.algorithm);
}

// srec_cat's filter for an algorithm it offers, in a byte order.
std::string SrecFilter(ChecksumAlgorithm algorithm, bool big, const std::string& at) {
    const std::string e = big ? "-b-e " : "-l-e ";
    switch (algorithm) {
    case ChecksumAlgorithm::Crc32: return "-crc32" + e + at;
    case ChecksumAlgorithm::Crc16CcittFalse: return "-crc16" + e + at + " -broken";
    case ChecksumAlgorithm::Crc16Xmodem: return "-crc16" + e + at + " -xmodem";
    case ChecksumAlgorithm::Sum8: return "-checksum-positive" + e + at + " 1 1";
    case ChecksumAlgorithm::Sum16: return "-checksum-positive" + e + at + " 2 1";
    case ChecksumAlgorithm::Sum8Twos: return "-checksum-negative" + e + at + " 1 1";
    default: return "";
    }
}

TEST(Checksum, AgreesWithSrecCatOnRandomImagesAndRanges) {
    if (std::system("srec_cat -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat (Debian's srecord) is missing";
    const std::string dir = ::testing::TempDir();
    std::mt19937 random(27);
    for (int round = 0; round < 4; ++round) {
        std::vector<std::uint8_t> image(4096);
        for (std::uint8_t& b : image) b = static_cast<std::uint8_t>(random());
        const std::uint32_t start = random() % 2000, end = start + random() % 1500;
        const std::uint32_t at = 0x1000 + random() % 0x100;
        const std::string in = dir + "checksum-range.bin";
        FILE* f = std::fopen(in.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(image.data() + start, 1, end - start + 1, f);
        std::fclose(f);
        for (ChecksumAlgorithm algorithm :
             {ChecksumAlgorithm::Crc32, ChecksumAlgorithm::Crc16CcittFalse, ChecksumAlgorithm::Crc16Xmodem,
              ChecksumAlgorithm::Sum8, ChecksumAlgorithm::Sum16, ChecksumAlgorithm::Sum8Twos}) {
            for (bool big : {false, true}) {
                const unsigned n = image::ChecksumBytes(algorithm);
                const std::string command = "srec_cat '" + in + "' -binary -offset " + std::to_string(start) + " " +
                                            SrecFilter(algorithm, big, std::to_string(at)) + " -crop " +
                                            std::to_string(at) + " " + std::to_string(at + n) + " -offset -" +
                                            std::to_string(at) + " -o - -binary";
                FILE* pipe = ::popen(command.c_str(), "r");
                ASSERT_NE(pipe, nullptr);
                std::uint8_t theirs[4] = {};
                const std::size_t got = std::fread(theirs, 1, sizeof theirs, pipe);
                ::pclose(pipe);
                ASSERT_EQ(got, n) << command;

                image::ChecksumStep step;
                step.algorithm = algorithm;
                step.start = start;
                step.end = end;
                step.address = at;
                step.bigEndian = big;
                std::vector<std::uint8_t> ours = image;
                ASSERT_EQ(image::ApplyChecksums(ours, 8192, {step}, nullptr), "");
                EXPECT_EQ(std::vector<std::uint8_t>(ours.begin() + at, ours.begin() + at + n),
                          std::vector<std::uint8_t>(theirs, theirs + n))
                    << image::ChecksumStepText(step);
            }
        }
    }
}

TEST(Checksum, BadStepsAreRefusedWithTheirReason) {
    struct Case {
        const char* text;
        const char* why;  // part of the reason; ParseChecksumStep refuses when it starts with '!'
    };
    const Case cases[] = {
        {"crc64:0-FF@100", "!unknown algorithm 'crc64'"},
        {"crc32", "!expected ALG:START-END@ADDR"},
        {"crc32:0-FF", "!expected ALG:START-END@ADDR"},
        {"crc32:0FF@100", "!expected ALG:START-END@ADDR"},
        {"crc32:0-FG@100", "!expected ALG:START-END@ADDR"},
        {"crc32:0-1FFFFFFFF@100", "!expected ALG:START-END@ADDR"},
        {"crc32:0-FF@100:middle", "!byte order 'middle'"},
        {"crc32:FF-0@100", "!the range ends before it starts"},
        {"crc32:0-FF@FC", "would lie inside its own range"},
        {"crc32:10-FF@E", "would lie inside its own range"},
        {"sum8:0-FF@FF", "would lie inside its own range"},
        {"crc32:0-FFFF@10000", "lies past the area's 32768 bytes"},
        {"crc32:0-FF@7FFE", "the value at 0x7FFE lies past the area's 32768 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        image::ChecksumStep step;
        std::string why;
        const bool parsed = image::ParseChecksumStep(c.text, &step, &why);
        if (c.why[0] == '!') {
            EXPECT_FALSE(parsed);
            EXPECT_NE(why.find(c.why + 1), std::string::npos) << why;
            continue;
        }
        ASSERT_TRUE(parsed) << why;
        std::vector<std::uint8_t> image(16, 0xAB);
        const std::string problem = image::ApplyChecksums(image, 0x8000, {step}, nullptr);
        EXPECT_NE(problem.find(c.why), std::string::npos) << problem;
        EXPECT_EQ(image, std::vector<std::uint8_t>(16, 0xAB)) << "a refused step changes nothing";
    }
}

TEST(Checksum, StepsRunInOrderOnAnImageExtendedWithErasedBytes) {
    std::vector<image::ChecksumStep> steps(2);
    std::string why;
    ASSERT_TRUE(image::ParseChecksumStep("crc32:0-1F7@1F8:big", &steps[0], &why)) << why;
    ASSERT_TRUE(image::ParseChecksumStep("0x1FC", &steps[1], &why) == false);
    ASSERT_TRUE(image::ParseChecksumStep("sum8-twos:0x0-0x1FE@0x1FF", &steps[1], &why)) << why;
    EXPECT_EQ(image::ChecksumStepText(steps[0]), "crc32:0000-01F7@01F8:big");
    std::vector<std::uint8_t> image = Text("firmware");  // 8 bytes: the rest reads erased
    std::vector<image::ChecksumValue> values;
    ASSERT_EQ(image::ApplyChecksums(image, 0x800, steps, &values), "");
    ASSERT_EQ(image.size(), 0x200u);
    std::vector<std::uint8_t> expected = Text("firmware");
    expected.resize(0x1F8, 0xFF);
    const std::uint32_t crc = image::ComputeChecksum(ChecksumAlgorithm::Crc32, expected.data(), expected.size());
    EXPECT_EQ(values[0].value, crc);
    EXPECT_EQ(image[0x1F8], crc >> 24);
    EXPECT_EQ(image[0x1FB], crc & 0xFF);
    // The second step covers the first one's value, and the whole image then sums to zero.
    unsigned sum = 0;
    for (std::uint8_t b : image) sum += b;
    EXPECT_EQ(sum % 256, 0u);
    EXPECT_EQ(image::ChecksumValueText(values[1]).rfind("sum8-twos 0000-01FE @01FF = ", 0), 0u);
}

}  // namespace
