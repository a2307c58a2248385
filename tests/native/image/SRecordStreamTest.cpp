// S-record read in blocks: the outcome of the whole text, wherever the blocks
// cut it, and the memory bound of a parse.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <string>

#include "image/SRecord.h"
#include "tests/fuzz/support/WholeTextSRecord.h"
#include "tests/native/image/HexText.h"

using hextest::SRec;
using image::ImageStatus;

namespace {

constexpr std::uint64_t kRoom = 0x100000;

const std::uint8_t* U8(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// The text fed in blocks whose sizes `next` chooses (0 means the rest).
image::ImageResult StreamParse(const std::string& text, std::uint64_t room, const std::function<std::size_t()>& next) {
    image::SRecordStream stream(room);
    const std::uint8_t* p = U8(text);
    std::size_t left = text.size();
    while (left > 0) {
        std::size_t n = next();
        n = n == 0 || n > left ? left : n;
        const bool more = stream.Feed(p, n);
        p += n;
        left -= n;
        if (!more) break;
    }
    return stream.Finish();
}

void ExpectSameAsWholeText(const std::string& text, std::uint64_t room, std::mt19937& rng) {
    const image::ImageResult whole = hexmodel::ParseWholeSRecord(U8(text), text.size(), room);
    const image::ImageResult memory = image::ParseSRecord(U8(text), text.size(), room);
    ASSERT_EQ(memory.status, whole.status);
    ASSERT_EQ(memory.bytes, whole.bytes);
    std::uniform_int_distribution<std::size_t> small(1, 16), large(1, 700);
    const std::function<std::size_t()> splits[] = {
        [] { return std::size_t{1}; }, [] { return std::size_t{2}; }, [] { return std::size_t{3}; },
        [] { return std::size_t{0}; }, [&] { return small(rng); },    [&] { return large(rng); },
    };
    for (const auto& next : splits) {
        const image::ImageResult r = StreamParse(text, room, next);
        ASSERT_EQ(r.status, whole.status);
        ASSERT_EQ(r.bytes, whole.bytes);
    }
}

TEST(SRecordStream, AgreesWithTheWholeTextOnCraftedTextsAndEverySplit) {
    const std::string good = SRec(1, 0x10, "0102"), end = SRec(9, 0);
    std::string badSum = good;
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    // clang-format off
    const struct {
        const char* name;
        std::string text;
        std::uint64_t room;
    } cases[] = {
        {"every address width, counts and an end", SRec(0, 0, "48454C4C4F") + "\n" + SRec(1, 4, "0102") + "\n" + SRec(2, 0x10, "aabb") + "\n" + SRec(3, 0x20, "C0") + "\n" + SRec(5, 3) + "\n" + end + "\n" + SRec(1, 0x40, "EE") + "\n", kRoom},
        {"a record of 255 count bytes", SRec(1, 0, std::string(504, 'A')) + "\n", kRoom},
        {"blanks around records, CR, LF, CR LF", "  " + good + " \t\r\n\r\r\n\t" + SRec(1, 0, "FF") + "\t", kRoom},
        {"no line end after the last record", good, kRoom},
        {"gaps above 64 KiB read erased", SRec(2, 0x10000, "01") + "\n" + SRec(2, 0x20000, "02") + "\n", kRoom},
        {"the text ends at a NUL", good + "\n" + std::string(1, '\0') + "junk\n", kRoom},
        {"a zero-length data record extends the image", good + "\n" + SRec(1, 0x100) + "\n", kRoom},
        {"empty", "", kRoom},
        {"line ends only", "\r\n\n\r", kRoom},
        {"wrong checksum", badSum, kRoom},
        {"damage after good data", good + "\n" + badSum + "\n", kRoom},
        {"damage after the end record is not read", good + "\n" + end + "\n" + badSum + "\nxyz", kRoom},
        {"a stray character after the end record", good + "\n" + end + "x\n", kRoom},
        {"truncated record", good.substr(0, good.size() - 3), kRoom},
        {"record mark alone", good + "\nS", kRoom},
        {"three characters of a record", good + "\nS10", kRoom},
        {"odd digit count", good + "0\n", kRoom},
        {"count promises more than the line", "S1090000010203\n" + good, kRoom},
        {"count too short for the address", "S2030000FC", kRoom},
        {"reserved S4", "S4030000FC\n", kRoom},
        {"type is not a digit", "SX030000FC", kRoom},
        {"count is not a number", "S1G30000FC", kRoom},
        {"lower-case record mark", "s1030000FC", kRoom},
        {"text that is not a record", good + "\nhello\n", kRoom},
        {"a second record on the line", good + " " + good + "\n", kRoom},
        {"line end inside the digits", "S10400\n00FB", kRoom},
        {"S3 data past 32 bits", SRec(3, 0xFFFFFFFF, "0102"), 0x10},
        {"S5 count right, then wrong", good + "\n" + SRec(5, 1) + "\n" + good + "\n" + SRec(5, 1) + "\n", kRoom},
        {"S6 with data", good + "\n" + SRec(6, 1, "00"), kRoom},
        {"end record with data", good + "\n" + SRec(8, 0, "00"), kRoom},
        {"an image ending exactly at the room", SRec(1, 0x0FFE, "0102") + "\n", 0x1000},
        {"one byte more is too large", SRec(1, 0x0FFF, "0102") + "\n", 0x1000},
        {"too large before a later damaged record", SRec(3, 0x08000000, "01") + "\nxx\n", 0x1000},
        {"damaged before a later too-large record", badSum + "\n" + SRec(3, 0x08000000, "01") + "\n", 0x1000},
    };
    // clang-format on
    std::mt19937 rng(29);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSameAsWholeText(c.text, c.room, rng);
        ExpectSameAsWholeText("\xEF\xBB\xBF" + c.text, c.room, rng);
        std::string crlf;
        for (char ch : c.text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        ExpectSameAsWholeText(crlf, c.room, rng);
    }
    // A few outcomes pinned down, so that the two cannot agree on a wrong one.
    const auto status = [](const std::string& text, std::uint64_t room) {
        return StreamParse(text, room, [] { return std::size_t{5}; }).status;
    };
    EXPECT_EQ(status(cases[0].text, kRoom), ImageStatus::Ok);
    EXPECT_EQ(status(good + "\n" + badSum, kRoom), ImageStatus::Malformed);
    EXPECT_EQ(status(SRec(1, 0x0FFF, "0102"), 0x1000), ImageStatus::TooLarge);
    const image::ImageResult r = StreamParse(cases[0].text, kRoom, [] { return std::size_t{7}; });
    EXPECT_EQ(r.bytes.size(), 0x21u);
    EXPECT_EQ(r.bytes[4], 0x01);
    EXPECT_EQ(r.bytes[0x11], 0xBB);
    EXPECT_EQ(r.bytes[0x12], 0xFF);
    EXPECT_EQ(r.bytes[0x20], 0xC0);
}

// Texts stitched from good records, damaged ones and everything that may sit
// between them, so that record, line and text ends fall on every side of a
// block boundary.
std::string RandomText(std::mt19937& rng) {
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const auto hexBytes = [&](std::size_t n) {
        std::string s;
        static const char digits[] = "0123456789ABCDEFabcdef";
        for (std::size_t i = 0; i < 2 * n; ++i) s += digits[pick(22)];
        return s;
    };
    std::string text;
    std::size_t dataRecords = 0;
    const std::size_t pieces = 1 + pick(12);
    for (std::size_t i = 0; i < pieces; ++i) {
        switch (pick(16)) {
        case 0:
        case 1:
        case 2:
            text += SRec(1 + static_cast<unsigned>(pick(3)), static_cast<std::uint32_t>(pick(0x400)),
                         hexBytes(pick(3) == 0 ? pick(250) : pick(33)));
            ++dataRecords;
            break;
        case 3: text += SRec(0, 0, hexBytes(pick(8))); break;
        case 4:
            text += SRec(5 + static_cast<unsigned>(pick(2)), static_cast<std::uint32_t>(dataRecords + pick(2)));
            break;
        case 5: text += SRec(7 + static_cast<unsigned>(pick(3)), 0); break;
        case 6: text += std::string(1 + pick(40), pick(2) ? ' ' : '\t'); break;
        case 7: text += "\r\n"; break;
        case 8: text += pick(2) ? "\n" : "\r"; break;
        case 9: text += std::string(1, '\0'); break;
        case 10: text += "S" + hexBytes(1 + pick(6)).substr(pick(2)); break;
        case 11: text += "\xEF\xBB\xBF"; break;
        case 12: {  // a good record with one character changed
            std::string r = SRec(static_cast<unsigned>("0123567"[pick(7)] - '0'),
                                 static_cast<std::uint32_t>(pick(0x100)), hexBytes(pick(20)));
            r[pick(r.size())] = "0FS\n \rZ4"[pick(8)];
            text += r;
            break;
        }
        case 13: text += SRec(3, 0xFFFFFF00u + static_cast<std::uint32_t>(pick(0x100)), hexBytes(pick(4))); break;
        default: text += SRec(1, static_cast<std::uint32_t>(pick(0x40)), hexBytes(pick(4))); break;
        }
        if (pick(3) != 0) text += pick(2) ? "\n" : "\r\n";
    }
    return text;
}

TEST(SRecordStream, AgreesWithTheWholeTextOnRandomTexts) {
    std::mt19937 rng(2029);
    const std::uint64_t rooms[] = {0x100, 0x3FF, 0x10000, kRoom};
    for (int round = 0; round < 3000; ++round) {
        const std::string text = RandomText(rng);
        SCOPED_TRACE(text);
        ExpectSameAsWholeText(text, rooms[round % 4], rng);
        if (HasFatalFailure()) return;
    }
}

TEST(SRecordStream, AgreesWithTheWholeTextCutAtEveryBlockSize) {
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        const std::string text = RandomText(rng);
        SCOPED_TRACE(text);
        const image::ImageResult whole = hexmodel::ParseWholeSRecord(U8(text), text.size(), kRoom);
        for (std::size_t block = 1; block <= text.size(); ++block) {
            const image::ImageResult r = StreamParse(text, kRoom, [block] { return block; });
            ASSERT_EQ(r.status, whole.status) << "block " << block;
            ASSERT_EQ(r.bytes, whole.bytes) << "block " << block;
        }
    }
}

// The largest single allocation made while a test body runs.
std::atomic<std::size_t> g_largest{0};

void* Track(std::size_t n) {
    std::size_t seen = g_largest.load();
    while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
    }
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

TEST(SRecordStream, HoldsNoMoreThanOneRecordBesidesTheImage) {
    // A megabyte of blanks after a record and records of every length, fed in
    // small blocks: nothing but one record is kept beside the image.
    std::string text = SRec(1, 0, "0102") + std::string(1 << 20, ' ') + "\n";
    for (unsigned n = 0; n < 252; ++n) text += SRec(1, 2, std::string(2 * n, 'A')) + "\r\n";
    text += SRec(9, 0) + "\n";
    g_largest = 0;
    const image::ImageResult r = StreamParse(text, kRoom, [] { return std::size_t{4096}; });
    ASSERT_EQ(r.status, ImageStatus::Ok);
    EXPECT_EQ(r.bytes.size(), 253u);
    EXPECT_LE(g_largest.load(), std::size_t{1024});
}

TEST(SRecordStream, NeverAllocatesBeyondTheRoomLeft) {
    // High addresses refused by size cost nothing, whatever the size hint.
    for (const std::uint64_t hint : {std::uint64_t{0}, std::uint64_t{1} << 30}) {
        g_largest = 0;
        image::SRecordStream stream(0x20000, hint);
        const std::string text = SRec(1, 0, "01") + "\n" + SRec(3, 0x08000000, "0102") + "\n";
        stream.Feed(U8(text), text.size());
        EXPECT_EQ(stream.Finish().status, ImageStatus::TooLarge);
        EXPECT_LE(g_largest.load(), std::size_t{0x20000});
    }
}

}  // namespace

void* operator new(std::size_t n) { return Track(n); }
void* operator new[](std::size_t n) { return Track(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
