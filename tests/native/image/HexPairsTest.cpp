// The wide hex-pair decoder against the plain one: every character value at
// every position of a vector step, in both letter cases, with the tail that
// the wide path leaves to the plain one.
#include "image/HexPairs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Decoded {
    bool ok;
    std::vector<std::uint8_t> bytes;
    unsigned sum;
};

template <class F>
Decoded Run(F decode, const std::string& text) {
    Decoded d{false, std::vector<std::uint8_t>(text.size() / 2), 7};
    d.ok = decode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size() / 2, d.bytes.data(), &d.sum);
    return d;
}

void ExpectSame(const std::string& text) {
    const Decoded wide = Run(image::DecodeHexPairs, text);
    const Decoded plain = Run(image::DecodeHexPairsScalar, text);
    ASSERT_EQ(wide.ok, plain.ok) << text;
    if (!plain.ok) return;
    EXPECT_EQ(wide.bytes, plain.bytes) << text;
    EXPECT_EQ(wide.sum, plain.sum) << text;
}

TEST(HexPairs, WideAndPlainAgreeOnEveryCharacterAtEveryPosition) {
    // 35 pairs: four vector steps and a tail of three pairs.
    const std::string base = "0123456789abcdefABCDEF0f1e2d3c4b5a69788796a5b4c3d2e1f0FfEeDdCcBbAa9988";
    ASSERT_EQ(base.size(), 70u);
    for (std::size_t at = 0; at < base.size(); ++at) {
        for (unsigned c = 0; c < 256; ++c) {
            std::string text = base;
            text[at] = static_cast<char>(c);
            ExpectSame(text);
        }
    }
}

TEST(HexPairs, ValuesAndSumsOfKnownText) {
    const std::string text = "00FF7f80a5C3" + std::string(32, 'f');
    std::vector<std::uint8_t> out(text.size() / 2);
    unsigned sum = 1;
    ASSERT_TRUE(
        image::DecodeHexPairs(reinterpret_cast<const std::uint8_t*>(text.data()), out.size(), out.data(), &sum));
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 6),
              (std::vector<std::uint8_t>{0x00, 0xFF, 0x7F, 0x80, 0xA5, 0xC3}));
    EXPECT_EQ(sum, 1u + 0x00 + 0xFF + 0x7F + 0x80 + 0xA5 + 0xC3 + 16u * 0xFF);
    for (const char* bad : {"0g", "G0", ":0", "0 ", "\xB0\xB1", "@0", "`0", "/0", "0:"}) {
        std::string t = std::string(bad) + std::string(30, '0');
        unsigned s = 0;
        EXPECT_FALSE(
            image::DecodeHexPairs(reinterpret_cast<const std::uint8_t*>(t.data()), t.size() / 2, out.data(), &s))
            << bad;
    }
}

}  // namespace
