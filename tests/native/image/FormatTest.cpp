// Motorola S-record and ELF parsing, telling formats by their content, and the
// HEX and S-record writers.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "image/Elf.h"
#include "image/FileFormat.h"
#include "image/ImageCompose.h"
#include "image/IntelHex.h"
#include "image/SRecord.h"
#include "tests/native/image/ElfFile.h"
#include "tests/native/image/HexText.h"

namespace {

using image::FileFormat;
using image::ImageStatus;
using Bytes = std::vector<std::uint8_t>;

const std::uint8_t* U8(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

using hextest::SRec;

image::ImageResult ParseS(const std::string& text, std::uint64_t room = 1u << 20) {
    return image::ParseSRecord(U8(text), text.size(), room);
}

TEST(SRecord, DataOfEveryAddressWidthLandsFromAddressZero) {
    const std::string text = SRec(0, 0, "48454C4C4F") + "\r\n" + SRec(1, 0x0004, "0102") + "\r\n" +
                             SRec(2, 0x000010, "aabb") + "\n" + SRec(3, 0x00000020, "C0") + "\r" + SRec(5, 3) + "\n" +
                             SRec(9, 0) + "\n" + SRec(1, 0x40, "EE") + "\n";
    const image::ImageResult r = ParseS(text);
    ASSERT_EQ(r.status, ImageStatus::Ok);
    Bytes want(0x21, 0xFF);
    want[4] = 1;
    want[5] = 2;
    want[0x10] = 0xAA;
    want[0x11] = 0xBB;
    want[0x20] = 0xC0;
    EXPECT_EQ(r.bytes, want);  // records after the end record are not read
}

TEST(SRecord, GapsAboveTheFirst64KiBReadErased) {
    // Unlike Intel HEX windows, an S-record image has one fill everywhere.
    const std::string text = SRec(2, 0x020000, "11") + "\n" + SRec(8, 0) + "\n";
    const image::ImageResult r = ParseS(text);
    ASSERT_EQ(r.status, ImageStatus::Ok);
    ASSERT_EQ(r.bytes.size(), 0x20001u);
    EXPECT_EQ(r.bytes[0x1FFFF], 0xFF);
    EXPECT_EQ(r.bytes[0x20000], 0x11);
}

TEST(SRecord, LaterRecordsOverwriteAndAFileWithoutEndIsWhole) {
    const std::string text = "\xEF\xBB\xBF  " + SRec(1, 0, "010203") + " \t\n\n" + SRec(1, 1, "FF") + "\n";
    const image::ImageResult r = ParseS(text);
    ASSERT_EQ(r.status, ImageStatus::Ok);
    EXPECT_EQ(r.bytes, Bytes({1, 0xFF, 3}));
    const std::string empty = SRec(0, 0, "41") + "\n" + SRec(7, 0) + "\n";
    EXPECT_EQ(ParseS(empty).status, ImageStatus::Ok);
    EXPECT_TRUE(ParseS(empty).bytes.empty());
}

TEST(SRecord, DamagedFilesAreRefusedWhole) {
    const std::string good = SRec(1, 0, "0102");
    std::string badSum = good;
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"wrong checksum", badSum},
        {"truncated record", good.substr(0, good.size() - 3)},
        {"odd digit count", good + "0"},
        {"count promises more than the line", "S1090000010203" + good.substr(good.size() - 2)},
        {"count too short for the address", "S2030000FC"},
        {"count of zero", "S100FF"},
        {"reserved S4", SRec(1, 0, "").replace(1, 1, "4")},
        {"type is not a digit", "SX030000FC"},
        {"lower-case record mark", "s1030000FC"},
        {"text that is not a record", good + "\nhello\n"},
        {"non-hex digit", "S1040000ZZ00"},
        {"line end inside the digits", "S10400\n00FB"},
        {"S3 data past 32 bits", SRec(3, 0xFFFFFFFF, "0102")},
        {"S5 count wrong", good + "\n" + SRec(5, 2)},
        {"S6 count wrong", good + "\n" + SRec(6, 0)},
        {"S5 with data", good + "\n" + SRec(5, 1, "00")},
        {"end record with data", good + "\n" + SRec(9, 0, "00")},
        {"record mark alone", good + "\nS"},
        {"damage after good data", good + "\n" + badSum + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const image::ImageResult r = ParseS(c.text);
        EXPECT_EQ(r.status, ImageStatus::Malformed);
        EXPECT_TRUE(r.bytes.empty());
    }
}

TEST(SRecord, ImagesBeyondTheRoomAreTooLargeWithoutAllocation) {
    const std::string high = SRec(3, 0xFFFFFF00, "01") + "\n";
    EXPECT_EQ(ParseS(high, 0x1000).status, ImageStatus::TooLarge);
    const std::string exact = SRec(1, 0x0FFF, "01") + "\n";
    EXPECT_EQ(ParseS(exact, 0x1000).status, ImageStatus::Ok);
    EXPECT_EQ(ParseS(exact, 0x0FFF).status, ImageStatus::TooLarge);
    // The address check comes first: past 2^32 is damage, not size.
    EXPECT_EQ(ParseS(SRec(3, 0xFFFFFFFF, "0102"), 0x10).status, ImageStatus::Malformed);
}

// ------------------------------------------------------------------ ELF

using elftest::MakeElf;
using elftest::PutN;
using elftest::Seg;

TEST(Elf, LoadSegmentsLandAtTheirPhysicalAddressInEveryClassAndByteOrder) {
    for (const bool wide : {false, true}) {
        for (const bool big : {false, true}) {
            SCOPED_TRACE(testing::Message() << (wide ? "64" : "32") << "-bit " << (big ? "big" : "little"));
            // Code at 0x100; initialised data that runs at 0x20000000 but is
            // kept at 0x180; .bss (memsz beyond filesz) and a note segment
            // that are not part of the image.
            const std::vector<Seg> segs = {
                {4, 0x300, 0, 0, 4, 4},
                {1, 0x200, 0x20000000, 0x180, 3, 0x100},
                {1, 0x100, 0x100, 0x100, 8, 8},
                {1, 0x300, 0x20001000, 0x20001000, 0, 0x40},
            };
            Bytes f = MakeElf(wide, big, segs, 0x304);
            for (unsigned i = 0; i < 8; ++i) f[0x100 + i] = static_cast<std::uint8_t>(0x10 + i);
            for (unsigned i = 0; i < 3; ++i) f[0x200 + i] = static_cast<std::uint8_t>(0xD0 + i);
            const image::ImageResult r = image::ParseElf(f.data(), f.size(), 0x10000);
            ASSERT_EQ(r.status, ImageStatus::Ok);
            Bytes want(0x183, 0xFF);
            for (unsigned i = 0; i < 8; ++i) want[0x100 + i] = static_cast<std::uint8_t>(0x10 + i);
            for (unsigned i = 0; i < 3; ++i) want[0x180 + i] = static_cast<std::uint8_t>(0xD0 + i);
            EXPECT_EQ(r.bytes, want);
            EXPECT_EQ(image::ParseElf(f.data(), f.size(), 0x182).status, ImageStatus::TooLarge);
        }
    }
}

TEST(Elf, DamagedHeadersAreRefused) {
    const Seg code{1, 0x100, 0, 0, 0x10, 0x10};
    struct Case {
        const char* name;
        bool wide;
        Bytes file;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, bool wide, Bytes f) { cases.push_back({name, wide, std::move(f)}); };
    for (const bool wide : {false, true}) {
        const std::size_t ph = wide ? 56 : 32, eh = wide ? 64 : 52;
        const std::size_t phoffAt = wide ? 32 : 28, phentAt = wide ? 54 : 42, phnumAt = wide ? 56 : 44;
        const unsigned w = wide ? 8 : 4;
        const Bytes good = MakeElf(wide, false, {code}, 0x110);
        Bytes f;
        add("magic alone", wide, Bytes(good.begin(), good.begin() + 4));
        add("header cut short", wide, Bytes(good.begin(), good.begin() + static_cast<long>(eh) - 1));
        f = good, f[4] = 3, add("unknown class", wide, f);
        f = good, f[5] = 0, add("unknown byte order", wide, f);
        f = good, PutN(f, phoffAt, 0x10F, w, false), add("program headers past the end", wide, f);
        f = good, PutN(f, phoffAt, ~std::uint64_t{0} >> (64 - 8 * w), w, false),
        add("program header offset wraps", wide, f);
        f = good, PutN(f, phentAt, ph - 1, 2, false), add("entry smaller than a program header", wide, f);
        f = good, PutN(f, phentAt, 0xFFFF, 2, false), PutN(f, phnumAt, 0xFFFE, 2, false);
        add("entry size times count past the end", wide, f);
        f = good, PutN(f, phnumAt, 0xFFFF, 2, false), add("extended segment count", wide, f);
        f = good, PutN(f, phnumAt, 0, 2, false), add("no program headers", wide, f);
        add("segment content past the end", wide, MakeElf(wide, false, {{1, 0x100, 0, 0, 0x11, 0x11}}, 0x110));
        add("segment offset wraps", wide,
            MakeElf(wide, false, {{1, ~std::uint64_t{0} >> (64 - 8 * w), 0, 0, 2, 2}}, 0x110));
        add("segment past 4 GiB", wide, MakeElf(wide, false, {{1, 0x100, 0, 0xFFFFFFF8, 0x10, 0x10}}, 0x110));
        add("only .bss", wide, MakeElf(wide, false, {{1, 0x100, 0, 0, 0, 0x10}}, 0x110));
        add("only a note", wide, MakeElf(wide, false, {{4, 0x100, 0, 0, 0x10, 0x10}}, 0x110));
        add("overlapping segments", wide,
            MakeElf(wide, false, {{1, 0x100, 0, 0x20, 0x10, 0x10}, {1, 0x100, 0, 0x2F, 0x8, 0x8}}, 0x110));
        add("same address twice", wide,
            MakeElf(wide, false, {{1, 0x100, 0, 0x20, 0x4, 0x4}, {1, 0x104, 0, 0x20, 0x4, 0x4}}, 0x110));
    }
    {
        Bytes f = MakeElf(true, false, {{1, 0x100, 0, 0x100000000ull, 0x10, 0x10}}, 0x110);
        add("64-bit address past 4 GiB", true, f);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.wide ? "64-bit: " : "32-bit: ") << c.name);
        const image::ImageResult r = image::ParseElf(c.file.data(), c.file.size(), 0xFFFFFFFFu);
        EXPECT_EQ(r.status, ImageStatus::Malformed);
        EXPECT_TRUE(r.bytes.empty());
    }
    // Adjacent segments are not overlapping ones.
    const Bytes touching = MakeElf(false, false, {{1, 0x100, 0, 0x20, 0x8, 0x8}, {1, 0x108, 0, 0x28, 0x8, 0x8}}, 0x110);
    EXPECT_EQ(image::ParseElf(touching.data(), touching.size(), 0x100).status, ImageStatus::Ok);
}

// ------------------------------------------------------------ detection

TEST(DetectFormat, ContentDecidesWhateverTheName) {
    const std::string hex = hextest::Rec(0, 0, "0102") + "\r\n";
    const std::string srec = SRec(0, 0, "41") + "\n" + SRec(1, 0, "01") + "\n";
    std::string badHexSum = hex;
    badHexSum[hex.size() - 3] = badHexSum[hex.size() - 3] == '0' ? '1' : '0';
    const Bytes elf = MakeElf(false, false, {{1, 0x100, 0, 0, 1, 1}}, 0x101);
    const std::string elfText(elf.begin(), elf.end());
    const struct {
        const char* name;
        std::string bytes;
        bool hexName;
        FileFormat want;
    } cases[] = {
        {"HEX under another name", hex, false, FileFormat::IntelHex},
        {"HEX after blank lines and a BOM", "\xEF\xBB\xBF\r\n  \n\t" + hex, false, FileFormat::IntelHex},
        {"S-record", srec, false, FileFormat::SRecord},
        {"S-record named .hex", srec, true, FileFormat::SRecord},
        {"ELF", elfText, false, FileFormat::Elf},
        {"ELF named .hex", elfText, true, FileFormat::Elf},
        {"binary", std::string("\x12\x34\x56\x78\x9A", 5), false, FileFormat::Binary},
        {"binary named .hex stays HEX", std::string("\x12\x34\x56", 3), true, FileFormat::IntelHex},
        {"HEX record with a wrong checksum", badHexSum, false, FileFormat::Binary},
        {"HEX record with a stray tail", hextest::Rec(0, 0, "01") + "x\n", false, FileFormat::Binary},
        {"HEX record of an unknown type", hextest::Rec(6, 0, "") + "\n", false, FileFormat::Binary},
        {"a colon and digits only", ":0102\n", false, FileFormat::Binary},
        {"S4 is no record", SRec(1, 0, "01").replace(1, 1, "4") + "\n", false, FileFormat::Binary},
        {"S-record whose count does not match", "S1050000FA\n", false, FileFormat::Binary},
        {"text", "hello world\n" + hex, false, FileFormat::Binary},
        {"empty", "", false, FileFormat::Binary},
        {"empty named .hex", "", true, FileFormat::IntelHex},
        {"ELF magic cut short",
         "\x7F"
         "EL",
         false, FileFormat::Binary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(image::DetectFormat(U8(c.bytes), c.bytes.size(), c.hexName), c.want);
    }
}

TEST(DetectFormat, ComposeLoadParsesByContentAndSaysWhichFormat) {
    const std::string srec = SRec(1, 2, "AABB") + "\n";
    image::LoadRequest rq;
    rq.file = U8(srec);
    rq.fileLength = srec.size();
    rq.insert = {0x10, 0};
    rq.path = L"fw.bin";
    rq.capacity = 0x14;
    image::LoadOutcome out = image::ComposeLoad(rq);
    ASSERT_EQ(out.status, ImageStatus::Ok);
    EXPECT_EQ(out.format, FileFormat::SRecord);
    Bytes want(0x14, 0xFF);
    want[0x12] = 0xAA;
    want[0x13] = 0xBB;
    EXPECT_EQ(out.content, want);

    const std::string damaged = SRec(1, 2, "AABB") + "\nS1\n";
    rq.file = U8(damaged);
    rq.fileLength = damaged.size();
    out = image::ComposeLoad(rq);
    EXPECT_EQ(out.status, ImageStatus::Malformed);
    EXPECT_EQ(out.format, FileFormat::SRecord);
    EXPECT_TRUE(out.content.empty());
}

// -------------------------------------------------------------- writers

TEST(Writers, SmallImagesAreWrittenExactly) {
    const Bytes b = {0x01, 0x02, 0x03};
    std::string hex, srec;
    image::WriteIntelHex(b.data(), b.size(), hex);
    EXPECT_EQ(hex, ":03000000010203F7\r\n:00000001FF\r\n");
    image::WriteSRecord(b.data(), b.size(), srec);
    EXPECT_EQ(srec, "S0030000FC\r\nS30800000000010203F1\r\nS70500000000FA\r\n");
    hex.clear();
    image::WriteIntelHex(nullptr, 0, hex);
    EXPECT_EQ(hex, ":00000001FF\r\n");
}

TEST(Writers, WhatIsWrittenParsesBackByteForByte) {
    std::mt19937 rng(17);
    for (const std::size_t n :
         {std::size_t{0}, std::size_t{1}, std::size_t{31}, std::size_t{32}, std::size_t{33}, std::size_t{0x10000},
          std::size_t{0x10001}, std::size_t{0x2FFE1}, 2 * image::kEncodeBlock + 0x12345}) {
        SCOPED_TRACE(n);
        Bytes b(n);
        for (auto& x : b) x = static_cast<std::uint8_t>(rng());
        // Runs of 0x00 and 0xFF must survive too: the HEX fill differs above 64 KiB.
        for (std::size_t i = 0; i < n && i < 0x400; ++i) b[n - 1 - i] = i & 1 ? 0x00 : 0xFF;
        for (const FileFormat f : {FileFormat::IntelHex, FileFormat::SRecord, FileFormat::Binary}) {
            std::string text;
            image::EncodeImage(f, b.data(), b.size(), text);
            if (f == FileFormat::Binary) {
                EXPECT_EQ(Bytes(text.begin(), text.end()), b);
            }
            // In pieces, the same file.
            std::string pieces;
            std::size_t calls = 0;
            EXPECT_TRUE(image::EncodeImageInBlocks(f, b.data(), b.size(), [&](const char* t, std::size_t k) {
                pieces.append(t, k);
                return ++calls != 0;
            }));
            EXPECT_TRUE(pieces == text);
            // A sink that refuses stops it (an empty binary has nothing to hand over).
            const bool stopped =
                !image::EncodeImageInBlocks(f, b.data(), b.size(), [](const char*, std::size_t) { return false; });
            EXPECT_EQ(stopped, n != 0 || f != FileFormat::Binary);
            if (f == FileFormat::Binary) continue;
            EXPECT_EQ(image::DetectFormat(U8(text), text.size(), false), f);
            const image::ImageResult r = image::ParseFormat(f, U8(text), text.size(), n);
            ASSERT_EQ(r.status, ImageStatus::Ok);
            EXPECT_TRUE(r.bytes == b);
        }
    }
}

TEST(Writers, RecordsStayWithinTheLineLimitsAndWindows) {
    Bytes b(0x20010, 0x5A);
    std::string hex;
    image::WriteIntelHex(b.data(), b.size(), hex);
    EXPECT_NE(hex.find(":020000040001F9\r\n:20000000"), std::string::npos);
    EXPECT_NE(hex.find(":020000040002F8\r\n:10000000"), std::string::npos);
    std::size_t lines = 0;
    for (char c : hex) lines += c == '\n';
    EXPECT_EQ(lines, 0x20010 / 32 + 1 + 2 + 1);
}

TEST(Writers, OutputFormatFollowsTheExtension) {
    const struct {
        const wchar_t* path;
        FileFormat want;
    } cases[] = {
        {L"C:\\out\\fw.hex", FileFormat::IntelHex},
        {L"fw.IHX", FileFormat::IntelHex},
        {L"fw.s19", FileFormat::SRecord},
        {L"fw.S28", FileFormat::SRecord},
        {L"fw.s37", FileFormat::SRecord},
        {L"fw.srec", FileFormat::SRecord},
        {L"fw.mot", FileFormat::SRecord},
        {L"fw.bin", FileFormat::Binary},
        {L"fw.elf", FileFormat::Binary},
        {L"C:\\a.hex\\fw", FileFormat::Binary},
        {L"fw.hex.bin", FileFormat::Binary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.want));
        EXPECT_EQ(image::OutputFormatFor(c.path), c.want);
    }
}

}  // namespace
