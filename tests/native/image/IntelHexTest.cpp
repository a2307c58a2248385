// Intel HEX parsing: the format's own rules, the refusals of damaged files and
// the memory bound.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <string>

#include "image/IntelHex.h"
#include "tests/fuzz/support/HexModel.h"
#include "tests/fuzz/support/WholeTextHex.h"
#include "tests/native/image/HexText.h"

using hextest::Fill;
using hextest::Put;
using hextest::Rec;
using image::ImageStatus;

namespace {

constexpr std::uint64_t kRoom = 0x100000;  // a 1 MiB part, image at offset 0
const std::string kEof = ":00000001FF";

image::ImageResult Parse(const std::string& text, std::uint64_t room = kRoom) {
    return image::ParseIntelHex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), room);
}

struct Case {
    const char* name;
    std::string text;
    std::function<std::vector<std::uint8_t>()> image;  // expected image when Ok
    ImageStatus status = ImageStatus::Ok;
    std::uint64_t room = kRoom;
};

std::vector<std::uint8_t> Image(std::size_t length, std::initializer_list<std::pair<std::size_t, std::string>> data) {
    std::vector<std::uint8_t> v = Fill(length);
    for (const auto& [at, hex] : data) Put(v, at, hex);
    return v;
}

const std::vector<Case>& Cases() {
    // clang-format off
    static const std::vector<Case> cases = {
        // The format's own rules.
        {"two blocks leave a 0xFF gap",
         Rec(0, 0x0000, "000102030405060708090A0B0C0D0E0F") + "\r\n" + Rec(0, 0x0100, "101112131415161718191A1B1C1D1E1F") + "\r\n" + kEof + "\r\n",
         [] { return Image(0x110, {{0, "000102030405060708090A0B0C0D0E0F"}, {0x100, "101112131415161718191A1B1C1D1E1F"}}); }},
        {"image starts at address 0 whatever the lowest record",
         Rec(0, 0x8000, "AA") + "\n",
         [] { return Image(0x8001, {{0x8000, "AA"}}); }},
        {"linear base: 0xFF below 64 KiB, data above",
         Rec(4, 0, "0001") + "\n" + Rec(0, 0, "C0FFEE") + "\n" + kEof,
         [] { return Image(0x10003, {{0x10000, "C0FFEE"}}); }},
        {"gaps above 64 KiB read 0x00",
         Rec(4, 0, "0001") + "\n" + Rec(0, 0x0010, "11") + "\n" + Rec(0, 0x0100, "22") + "\n",
         [] { return Image(0x10101, {{0x10010, "11"}, {0x10100, "22"}}); }},
        {"data above 64 KiB stays after the base returns to 0",
         Rec(4, 0, "0001") + "\n" + Rec(0, 0, "AB") + "\n" + Rec(4, 0, "0000") + "\n" + Rec(0, 0, "CD") + "\n",
         [] { return Image(0x10001, {{0, "CD"}, {0x10000, "AB"}}); }},
        {"segment base is the value times 16",
         Rec(2, 0, "1234") + "\n" + Rec(0, 0x0005, "5A") + "\n",
         [] { return Image(0x12345 + 1, {{0x12345, "5A"}}); }},
        {"the last base record wins, of either type",
         Rec(4, 0, "0001") + "\n" + Rec(2, 0, "2000") + "\n" + Rec(0, 0, "77") + "\n",
         [] { return Image(0x20001, {{0x20000, "77"}}); }},
        {"a later record overwrites an earlier one",
         Rec(0, 0, "11223344") + "\n" + Rec(0, 1, "AABB") + "\n",
         [] { return Image(4, {{0, "11AABB44"}}); }},
        {"a zero-length data record still extends the image",
         Rec(0, 0, "01") + "\n" + Rec(0, 0x0200) + "\n",
         [] { return Image(0x200, {{0, "01"}}); }},
        {"a zero-length data record above 64 KiB extends with 0x00",
         Rec(4, 0, "0001") + "\n" + Rec(0, 0x0010) + "\n",
         [] { return Fill(0x10010); }},
        {"records after the end record are not read, damaged or not",
         Rec(0, 0, "01") + "\n" + kEof + "\n" + Rec(0, 0x10, "02") + "\n:ZZ\n:0100000000\n",
         [] { return Image(1, {{0, "01"}}); }},
        {"CR LF, LF, CR and runs of them all break lines",
         Rec(0, 0, "01") + "\r\n" + Rec(0, 1, "02") + "\n" + Rec(0, 2, "03") + "\r" + Rec(0, 3, "04") + "\r\n\r\n\n\r" + Rec(0, 4, "05"),
         [] { return Image(5, {{0, "0102030405"}}); }},
        {"lines not starting with a colon are skipped",
         "; built by hand\n" + Rec(0, 0, "01") + "\nfoo" + Rec(0, 1, "02") + "\n  x" + Rec(0, 2, "03") + "\n",
         [] { return Image(1, {{0, "01"}}); }},
        {"lower-case digits and mixed case",
         ":0400000001aBcDeF94\n",
         [] { return Image(4, {{0, "01ABCDEF"}}); }},
        {"the text ends at its first NUL",
         Rec(0, 0, "01") + "\n" + std::string(1, '\0') + Rec(0, 1, "02") + "\n:ZZ\n",
         [] { return Image(1, {{0, "01"}}); }},
        {"no data records give an empty image",
         Rec(4, 0, "0001") + "\n" + kEof + "\n",
         [] { return std::vector<std::uint8_t>{}; }},
        {"an empty text gives an empty image", "",
         [] { return std::vector<std::uint8_t>{}; }},

        // Tolerance for what editors and tools add around records.
        {"a UTF-8 byte-order mark before the first record",
         "\xEF\xBB\xBF" + Rec(0, 0, "01") + "\r\n",
         [] { return Image(1, {{0, "01"}}); }},
        {"blanks and tabs around a record",
         "  " + Rec(0, 0, "01") + " \r\n\t" + Rec(0, 1, "02") + "\t \n",
         [] { return Image(2, {{0, "0102"}}); }},
        {"start address records are skipped and the parse goes on",
         Rec(0, 0, "01") + "\n" + Rec(5, 0, "08000000") + "\n" + Rec(3, 0, "12345678") + "\n" + Rec(0, 1, "02") + "\n",
         [] { return Image(2, {{0, "0102"}}); }},
        {"a data record past base + 0xFFFF continues upwards",
         Rec(0, 0xFFFC, "0102030405060708") + "\n",
         [] { return Image(0x10004, {{0xFFFC, "0102030405060708"}}); }},
        {"the same above 64 KiB",
         Rec(4, 0, "0001") + "\n" + Rec(0, 0xFFFE, "AABBCC") + "\n",
         [] { return Image(0x20001, {{0x1FFFE, "AABBCC"}}); }},

        // Damaged records refuse the whole file.
        {"wrong checksum in the middle", Rec(0, 0, "01") + "\n:0100010002FD\n" + Rec(0, 2, "03") + "\n", nullptr, ImageStatus::Malformed},
        {"a non-hex character", ":01000000G0FF\n", nullptr, ImageStatus::Malformed},
        {"a blank inside the digits", ":01000000 0FF\n", nullptr, ImageStatus::Malformed},
        {"an odd number of digits", ":0100000001FE0\n", nullptr, ImageStatus::Malformed},
        {"count promises more bytes than the line holds", ":0200000001FD\n" + Rec(0, 1, "02"), nullptr, ImageStatus::Malformed},
        {"count promises fewer bytes than the line holds", ":000000000000\n", nullptr, ImageStatus::Malformed},
        {"more than 520 digits", Rec(0, 0, std::string(510, '0')) + "00\n", nullptr, ImageStatus::Malformed},
        {"a record of 255 bytes, 520 digits", Rec(0, 0, std::string(510, '0')) + "\n",
         [] { return Image(255, {{0, std::string(510, '0')}}); }},
        {"a colon alone", Rec(0, 0, "01") + "\n:\n", nullptr, ImageStatus::Malformed},
        {"a colon and blanks", ": \t\n", nullptr, ImageStatus::Malformed},
        {"one digit after the colon", ":0", nullptr, ImageStatus::Malformed},
        {"a file cut off inside a record", Rec(0, 0, "01") + "\n:10000000000102", nullptr, ImageStatus::Malformed},
        {"junk after a record on its line", Rec(0, 0, "01") + " ; note\n", nullptr, ImageStatus::Malformed},
        {"segment base with count 1", Rec(2, 0, "10") + "\n", nullptr, ImageStatus::Malformed},
        {"linear base with count 3", Rec(4, 0, "000100") + "\n", nullptr, ImageStatus::Malformed},
        {"linear base with a non-zero address", Rec(4, 1, "0001") + "\n", nullptr, ImageStatus::Malformed},
        {"record type 6", Rec(6, 0) + "\n", nullptr, ImageStatus::Malformed},
        {"record type 0xFF", Rec(0xFF, 0) + "\n", nullptr, ImageStatus::Malformed},
        {"a damaged record before the end record", ":0100000001FF\n" + kEof, nullptr, ImageStatus::Malformed},

        // The room left bounds the image.
        {"an image ending exactly at the room left", Rec(0, 0x00FE, "0102") + "\n",
         [] { return Image(0x100, {{0xFE, "0102"}}); }, ImageStatus::Ok, 0x100},
        {"one byte more is too large", Rec(0, 0x00FF, "0102") + "\n", nullptr, ImageStatus::TooLarge, 0x100},
        {"a zero-length record beyond the room", Rec(0, 0x0101) + "\n", nullptr, ImageStatus::TooLarge, 0x100},
        {"a high base without data costs nothing", Rec(4, 0, "FFFF") + "\n" + kEof,
         [] { return std::vector<std::uint8_t>{}; }, ImageStatus::Ok, 0xFFFFFFFF},
        {"data at 0x08000000 on a small part", Rec(4, 0, "0800") + "\n" + Rec(0, 0, "01") + "\n", nullptr, ImageStatus::TooLarge, 0x10000},
        {"an end beyond 4 GiB does not wrap around", Rec(4, 0, "FFFF") + "\n" + Rec(0, 0xFFFF, "0102") + "\n", nullptr, ImageStatus::TooLarge, 0xFFFFFFFF},
        {"too large before a later damaged record", Rec(0, 0x0200, "01") + "\n:ZZ\n", nullptr, ImageStatus::TooLarge, 0x100},
        {"damaged before a later too-large record", ":ZZ\n" + Rec(0, 0x0200, "01") + "\n", nullptr, ImageStatus::Malformed, 0x100},
    };
    // clang-format on
    return cases;
}

TEST(IntelHex, CraftedCases) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const image::ImageResult r = Parse(c.text, c.room);
        ASSERT_EQ(r.status, c.status);
        if (c.status == ImageStatus::Ok) {
            EXPECT_EQ(r.bytes, c.image());
        } else {
            EXPECT_TRUE(r.bytes.empty());
        }
        // The plain model reads every case the same way.
        const image::ImageResult m = hexmodel::ModelParse(c.text, c.room);
        EXPECT_EQ(m.status, r.status);
        EXPECT_EQ(m.bytes, r.bytes);
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

TEST(IntelHex, NeverAllocatesBeyondTheRoomLeft) {
    const struct {
        std::string text;
        std::uint64_t room;
        ImageStatus status;
    } files[] = {
        {Rec(4, 0, "FFFF") + "\n" + Rec(0, 0xFF00, "01") + "\n", 0x20000, ImageStatus::TooLarge},
        {Rec(4, 0, "0800") + "\n" + Rec(0, 0, "0102030405060708") + "\n", 0x20000, ImageStatus::TooLarge},
        {Rec(2, 0, "F000") + "\n" + Rec(0, 0xFFF0, "01") + "\n", 0x20000, ImageStatus::TooLarge},
        {Rec(0, 0, "01") + "\n" + Rec(4, 0, "FFFF") + "\n" + Rec(0, 0xFFFF, "01") + "\n", 0xFFFFFFFF,
         ImageStatus::TooLarge},
        {Rec(4, 0, "FFFF") + "\n" + kEof + "\n", 0xFFFFFFFF, ImageStatus::Ok},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.text);
        g_largest = 0;
        const image::ImageResult r = Parse(f.text, f.room);
        EXPECT_EQ(r.status, f.status);
        EXPECT_LE(g_largest.load(), std::size_t{0x20000});
    }
}

TEST(IntelHex, ReservesTheFinalSizeOnce) {
    // A large well-formed file is allocated at its final size: growing by
    // doubling would hold the old and new copies at once.
    std::string text;
    for (const char* window : {"0000", "0001", "0002", "0003"}) {
        text += Rec(4, 0, window) + "\n";
        for (unsigned a = 0; a < 0x10000; a += 16) text += Rec(0, a, "000102030405060708090A0B0C0D0E0F") + "\n";
    }
    g_largest = 0;
    const image::ImageResult r = Parse(text, 0x100000);
    ASSERT_EQ(r.status, ImageStatus::Ok);
    EXPECT_EQ(r.bytes.size(), 0x40000u);
    EXPECT_EQ(r.bytes.capacity(), 0x40000u);
    EXPECT_LE(g_largest.load(), std::size_t{0x40000});
}

// The text fed in blocks whose sizes `next` chooses (0 means the rest).
image::ImageResult StreamParse(const std::string& text, std::uint64_t room, const std::function<std::size_t()>& next) {
    image::IntelHexStream stream(room);
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
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
    const image::ImageResult whole =
        hexmodel::ParseWholeText(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), room);
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

TEST(IntelHexStream, AgreesWithTheWholeTextOnEveryCaseAndEverySplit) {
    std::mt19937 rng(20);
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        ExpectSameAsWholeText(c.text, c.room, rng);
        // The same after a byte-order mark and with CR LF line ends.
        ExpectSameAsWholeText("\xEF\xBB\xBF" + c.text, c.room, rng);
        std::string crlf;
        for (char ch : c.text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        ExpectSameAsWholeText(crlf, c.room, rng);
    }
}

TEST(IntelHexStream, AgreesWithTheWholeTextOnRandomTexts) {
    // Texts stitched from good records, damaged ones and everything that
    // may sit between them, so that record, line and text ends fall on
    // every side of a block boundary.
    std::mt19937 rng(2026);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const auto hexBytes = [&](std::size_t n) {
        std::string s;
        static const char digits[] = "0123456789ABCDEFabcdef";
        for (std::size_t i = 0; i < 2 * n; ++i) s += digits[pick(22)];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const std::size_t pieces = 1 + pick(12);
        for (std::size_t i = 0; i < pieces; ++i) {
            switch (pick(16)) {
            case 0:
            case 1:
            case 2:
            case 3:
                text += Rec(0, static_cast<unsigned>(pick(0x400)), hexBytes(pick(3) == 0 ? pick(256) : pick(33)));
                break;
            case 4: text += Rec(4, 0, hexBytes(2).replace(0, 3, "000")); break;
            case 5: text += Rec(2, 0, hexBytes(2).replace(0, 2, "00")); break;
            case 6: text += kEof; break;
            case 7: text += std::string(1 + pick(40), pick(2) ? ' ' : '\t'); break;
            case 8: text += "\r\n"; break;
            case 9: text += pick(2) ? "\n" : "\r"; break;
            case 10: text += std::string(1, '\0'); break;
            case 11: text += "; note " + hexBytes(pick(8)); break;
            case 12: text += ":" + hexBytes(pick(12)); break;
            case 13: text += "\xEF\xBB\xBF"; break;
            case 14: {  // a good record with one character changed
                std::string r =
                    Rec(static_cast<unsigned>(pick(7)), static_cast<unsigned>(pick(0x100)), hexBytes(pick(20)));
                r[pick(r.size())] = "0F:\n \rZ"[pick(7)];
                text += r;
                break;
            }
            default: text += Rec(3, 0, hexBytes(4)); break;
            }
            if (pick(3) != 0) text += pick(2) ? "\n" : "\r\n";
        }
        const std::uint64_t rooms[] = {0x100, 0x3FF, 0x10000, 0x20000, kRoom};
        SCOPED_TRACE(text);
        ExpectSameAsWholeText(text, rooms[pick(5)], rng);
        if (HasFatalFailure()) return;
    }
}

TEST(IntelHexStream, HoldsNoMoreThanOneRecordBesidesTheImage) {
    // A skipped line of a megabyte and a megabyte of blanks after a record,
    // fed in small blocks: nothing of them is kept.
    const std::string text = std::string(1 << 20, 'x') + "\n" + Rec(0, 0, "0102") + std::string(1 << 20, ' ') + "\n" +
                             Rec(0, 2, std::string(510, 'A')) + "\n" + kEof + "\n";
    g_largest = 0;
    const image::ImageResult r = StreamParse(text, kRoom, [] { return std::size_t{4096}; });
    ASSERT_EQ(r.status, ImageStatus::Ok);
    EXPECT_EQ(r.bytes.size(), 257u);
    EXPECT_LE(g_largest.load(), std::size_t{1024});
}

}  // namespace

void* operator new(std::size_t n) { return Track(n); }
void* operator new[](std::size_t n) { return Track(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
