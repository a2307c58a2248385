// Framing and checksums of the programming protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tarvel_dll/protocol/Crc.h"
#include "tarvel_dll/protocol/Frame.h"

namespace tarvel {
namespace {

std::vector<std::uint8_t> Encoded(std::uint8_t type, std::uint8_t seq, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> out;
    EncodeFrame(type, seq, payload.data(), payload.size(), out);
    return out;
}

std::vector<Frame> Parse(const std::vector<std::uint8_t>& bytes, FrameParser& p) {
    p.Feed(bytes.data(), bytes.size());
    std::vector<Frame> frames;
    Frame f;
    while (p.Next(f)) frames.push_back(f);
    return frames;
}

TEST(Crc, StandardCheckValues) {
    const char* check = "123456789";
    const auto* b = reinterpret_cast<const std::uint8_t*>(check);
    EXPECT_EQ(Crc16(b, 9), 0x29B1);       // CRC-16/CCITT-FALSE
    EXPECT_EQ(Crc32(b, 9), 0xCBF43926u);  // CRC-32/IEEE
    // Incremental use gives the same result.
    EXPECT_EQ(Crc32(b + 4, 5, Crc32(b, 4)), 0xCBF43926u);
    EXPECT_EQ(Crc16(b + 4, 5, Crc16(b, 4)), 0x29B1);
}

TEST(Frame, LayoutAndRoundTrip) {
    const auto bytes = Encoded(0x07, 0x42, {1, 2, 3});
    ASSERT_EQ(bytes.size(), 3 + kFrameOverhead);
    EXPECT_EQ(bytes[0], kFrameStart);
    EXPECT_EQ(bytes[1], 0x07);
    EXPECT_EQ(bytes[2], 0x42);
    EXPECT_EQ(GetU16(&bytes[3]), 3);
    EXPECT_EQ(GetU16(&bytes[8]), Crc16(&bytes[1], 7));

    // Empty and largest payloads, fed whole and byte by byte.
    std::vector<std::uint8_t> big(kMaxPayload);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + 1);
    for (const auto& payload : {std::vector<std::uint8_t>{}, big}) {
        const auto enc = Encoded(0x81, 9, payload);
        FrameParser whole;
        auto frames = Parse(enc, whole);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].Payload, payload);
        FrameParser bytewise;
        std::size_t got = 0;
        for (std::uint8_t b : enc) {
            EXPECT_GE(bytewise.BytesMissing(), 1u);
            got += Parse({b}, bytewise).size();
        }
        EXPECT_EQ(got, 1u);
    }
}

TEST(Frame, BytesMissingNamesTheRestOfTheFrame) {
    const auto enc = Encoded(1, 1, std::vector<std::uint8_t>(100, 0x55));
    FrameParser p;
    EXPECT_EQ(p.BytesMissing(), kFrameHeader);
    p.Feed(enc.data(), 2);
    EXPECT_EQ(p.BytesMissing(), kFrameHeader - 2);
    p.Feed(enc.data() + 2, 10);
    EXPECT_EQ(p.BytesMissing(), enc.size() - 12);
}

// Every single corrupted byte loses the frame it hit. A damaged length may
// hold back the frames behind it until enough bytes have come to expose it;
// after that they all come through.
TEST(Frame, CorruptedByteLosesOnlyItsFrame) {
    const auto first = Encoded(2, 1, {10, 20, 30, 40});
    const auto second = Encoded(3, 2, {0xA5, 0xA5, 5});  // start bytes inside the payload
    for (std::size_t i = 0; i < first.size(); ++i) {
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            auto stream = first;
            stream[i] ^= flip;
            for (int k = 0; k < 40; ++k) stream.insert(stream.end(), second.begin(), second.end());
            FrameParser p;
            const auto frames = Parse(stream, p);
            ASSERT_FALSE(frames.empty()) << "byte " << i;
            EXPECT_EQ(frames.back().Type, 3) << "byte " << i;
            EXPECT_EQ(frames.back().Payload, (std::vector<std::uint8_t>{0xA5, 0xA5, 5}));
            for (const Frame& f : frames) EXPECT_NE(f.Type, 2) << "corrupt frame accepted, byte " << i;
        }
    }
}

TEST(Frame, TruncatedNoiseAndOversizedLengthAreSkipped) {
    const auto good = Encoded(4, 7, {1, 2, 3, 4, 5, 6, 7, 8});
    struct Case {
        const char* Name;
        std::vector<std::uint8_t> Prefix;
    };
    std::vector<std::uint8_t> truncated(good.begin(), good.begin() + 9);
    std::vector<std::uint8_t> oversized{kFrameStart, 1, 1, 0xFF, 0xFF};
    const Case cases[] = {
        {"noise", {0x00, 0x13, 0x7F, 0xFF}},
        {"truncated frame", truncated},
        {"header only", std::vector<std::uint8_t>(good.begin(), good.begin() + 5)},
        {"oversized length", oversized},
        {"lone start bytes", {kFrameStart, kFrameStart, kFrameStart}},
    };
    for (const Case& c : cases) {
        auto stream = c.Prefix;
        stream.insert(stream.end(), good.begin(), good.end());
        stream.insert(stream.end(), good.begin(), good.end());
        FrameParser p;
        const auto frames = Parse(stream, p);
        // The frame right after a cut one may be swallowed by the length of
        // the cut one; the one after it always survives.
        ASSERT_GE(frames.size(), 1u) << c.Name;
        EXPECT_EQ(frames.back().Type, 4) << c.Name;
        EXPECT_EQ(frames.back().Payload, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8})) << c.Name;
    }
}

TEST(Frame, ResetForgetsPartialInput) {
    const auto good = Encoded(5, 1, {9});
    FrameParser p;
    p.Feed(good.data(), 4);
    p.Reset();
    EXPECT_EQ(Parse(good, p).size(), 1u);
}

}  // namespace
}  // namespace tarvel
