// Reading a file for a buffer: the refusals before reading, the format told by
// the content, and the result texts of the window's log and the console.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "buffers/LoadResultText.h"
#include "image/FileFormat.h"
#include "image/FileLoad.h"
#include "image/ImageCompose.h"
#include "image/LoadState.h"
#include "tests/native/image/ElfFile.h"
#include "tests/native/image/HexText.h"

namespace {

using image::FileFormat;
using image::FileLoadStatus;
using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Files held in memory. A file may claim a length it does not hold (to stand
// for a huge file), or fail its reads; every byte handed out is counted.
class MemoryFiles : public image::FileOpener {
public:
    struct File {
        Bytes bytes;
        std::uint64_t claimedLength = 0;  // 0: the real length
        bool readFails = false;
        std::size_t failFrom = 0;  // nonzero: reads fail once this many bytes are handed out
    };
    std::map<std::wstring, File> files;
    std::size_t bytesRead = 0;

    std::unique_ptr<image::FileSource> Open(std::wstring_view path, std::uint32_t& error) override {
        const auto it = files.find(std::wstring(path));
        if (it == files.end()) {
            error = 2;  // the system's "file not found"
            return nullptr;
        }
        return std::make_unique<Source>(it->second, bytesRead);
    }

private:
    class Source : public image::FileSource {
    public:
        Source(const File& f, std::size_t& counter) : f_(f), counter_(counter) {}
        bool Length(std::uint64_t& length) override {
            length = f_.claimedLength ? f_.claimedLength : f_.bytes.size();
            return true;
        }
        bool Read(std::uint8_t* into, std::size_t count, std::size_t& got) override {
            if (f_.readFails || (f_.failFrom != 0 && at_ >= f_.failFrom)) return false;
            got = std::min(count, f_.bytes.size() - at_);
            std::copy(f_.bytes.begin() + static_cast<long>(at_), f_.bytes.begin() + static_cast<long>(at_ + got), into);
            at_ += got;
            counter_ += got;
            return true;
        }
        bool Seek(std::uint64_t offset) override {
            if (f_.readFails) return false;
            at_ = static_cast<std::size_t>(std::min<std::uint64_t>(offset, f_.bytes.size()));
            return true;
        }
        std::uint32_t LastError() const override { return 23; }

    private:
        const File& f_;
        std::size_t& counter_;
        std::size_t at_ = 0;
    };
};

image::FileLoadRequest Request(const wchar_t* path, std::uint32_t capacity, std::uint32_t offset = 0) {
    image::FileLoadRequest r;
    r.path = path;
    r.capacity = capacity;
    r.insert.InsertOffset = offset;
    return r;
}

TEST(FileLoad, ContentDecidesTheFormatAndDamageItsText) {
    const std::string hex = hextest::Rec(0, 1, "AABB") + "\r\n:00000001FF\r\n";
    const std::string srec = "S1050001AABB94\r\nS9030000FC\r\n";
    const struct {
        const char* name;
        const wchar_t* path;
        Bytes bytes;
        FileLoadStatus status;
        FileFormat format;
        texts::TextId text;
    } cases[] = {
        {"HEX named .ihx", L"C:\\fw\\app.ihx", B(hex), FileLoadStatus::Ok, FileFormat::IntelHex, texts::kPass},
        {"HEX named .bin", L"app.bin", B(hex), FileLoadStatus::Ok, FileFormat::IntelHex, texts::kPass},
        {"S-record named .mot", L"app.mot", B(srec), FileLoadStatus::Ok, FileFormat::SRecord, texts::kPass},
        {"S-record named .hex", L"app.hex", B(srec), FileLoadStatus::Ok, FileFormat::SRecord, texts::kPass},
        {"damaged first record named .hex", L"app.hex", B(":0100\r\n"), FileLoadStatus::HexError, FileFormat::IntelHex,
         texts::kHexFileError},
        {"damaged HEX", L"app.ihx", B(hex + ":0100000000\r\n"), FileLoadStatus::Ok, FileFormat::IntelHex,
         texts::kPass},  // after the end record nothing is read
        {"damaged HEX before its end", L"app.ihx", B(hextest::Rec(0, 1, "AABB") + "\n:0100000000\n"),
         FileLoadStatus::HexError, FileFormat::IntelHex, texts::kHexFileError},
        {"damaged S-record", L"app.s19", B("S1050001AABB94\r\nS1050001AABB00\r\n"), FileLoadStatus::FormatError,
         FileFormat::SRecord, texts::kFileFormatError},
        {"S-record damaged in its first line is no S-record", L"app.s19", B(srec.substr(0, 10)), FileLoadStatus::Ok,
         FileFormat::Binary, texts::kPass},
        {"damaged ELF", L"app.elf", Bytes{0x7F, 'E', 'L', 'F', 1, 1, 1}, FileLoadStatus::FormatError, FileFormat::Elf,
         texts::kFileFormatError},
        {"binary named .s19", L"app.s19", Bytes{0x00, 0xAA, 0xBB}, FileLoadStatus::Ok, FileFormat::Binary,
         texts::kPass},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFiles files;
        files.files[c.path].bytes = c.bytes;
        const image::FileLoadOutcome out = image::LoadFileForBuffer(files, Request(c.path, 0x100));
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(out.format, c.format);
        EXPECT_EQ(LoadResultText(out.status), c.text);
        if (out.status == FileLoadStatus::Ok) {
            EXPECT_EQ(out.slot.FilePath, c.path);
            if (c.format != FileFormat::Binary) {
                EXPECT_EQ(out.content, Bytes({0xFF, 0xAA, 0xBB}));
            }
        } else {
            EXPECT_TRUE(out.content.empty());
            EXPECT_TRUE(out.pathText.empty());
        }
    }
}

TEST(FileLoad, HexReadInBlocksLandsAsTheWholeTextWould) {
    // Files far longer than the head and the read block, with their damage
    // or their stray address at the far end, loaded fresh and merged at an
    // offset: the outcome is that of composing the whole text at once.
    std::string body;
    for (unsigned window = 0; window < 3; ++window) {
        body += hextest::Rec(4, 0, "000" + std::to_string(window)) + "\r\n";
        for (unsigned a = 0; a < 0x10000; a += 32)
            body += hextest::Rec(0, a, "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F") + "\r\n";
    }
    const std::string eof = ":00000001FF\r\n";
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"good", body + eof},
        {"good, LF and no end record",
         [&] {
             std::string t;
             for (char c : body)
                 if (c != '\r') t += c;
             return t;
         }()},
        {"good after a byte-order mark", "\xEF\xBB\xBF" + body + eof},
        {"damaged at the end", body + ":0100000000\r\n" + eof},
        {"too large at the end", body + hextest::Rec(4, 0, "0010") + "\r\n" + hextest::Rec(0, 0, "01") + "\r\n"},
        {"too large, then damaged",
         body + hextest::Rec(4, 0, "0010") + "\r\n" + hextest::Rec(0, 0, "01") + "\r\n:ZZ\r\n"},
        {"damaged, then too large",
         body + ":ZZ\r\n" + hextest::Rec(4, 0, "0010") + "\r\n" + hextest::Rec(0, 0, "01") + "\r\n"},
        {"cut off inside a record", body.substr(0, body.size() - 7)},
        {"ended by a NUL before damage", body + std::string(1, '\0') + ":ZZ\r\n"},
    };
    for (const auto& c : cases) {
        for (const std::uint32_t offset : {0u, 0x100u}) {
            SCOPED_TRACE(std::string(c.name) + (offset ? ", at an offset over a buffer" : ""));
            MemoryFiles files;
            files.files[L"big.hex"].bytes = B(c.text);
            image::FileLoadRequest request = Request(L"big.hex", 0x100000, offset);
            const Bytes current(0x200, 0x5A);
            if (offset != 0) {
                request.slot.LoadState = image::LoadState::OneFile;
                request.current = current.data();
                request.currentLength = current.size();
            }
            const image::FileLoadOutcome out = image::LoadFileForBuffer(files, request);

            image::LoadRequest whole(request);
            whole.file = reinterpret_cast<const std::uint8_t*>(c.text.data());
            whole.fileLength = c.text.size();
            whole.isHex = true;
            const image::LoadOutcome expected = image::ComposeLoad(whole);
            const FileLoadStatus status = expected.status == image::ImageStatus::Ok         ? FileLoadStatus::Ok
                                          : expected.status == image::ImageStatus::TooLarge ? FileLoadStatus::TooLarge
                                                                                            : FileLoadStatus::HexError;
            EXPECT_EQ(out.status, status);
            EXPECT_EQ(out.format, FileFormat::IntelHex);
            EXPECT_EQ(out.content, expected.content);
            EXPECT_EQ(out.pathText, expected.pathText);
        }
    }

    // A read that fails after the end record is still a failed read, as
    // when the file is read whole.
    MemoryFiles files;
    files.files[L"bad.hex"] = {B(body + eof + std::string(400000, '\n')), 0, false, body.size() + 300000};
    EXPECT_EQ(image::LoadFileForBuffer(files, Request(L"bad.hex", 0x100000)).status, FileLoadStatus::ReadError);
}

// The outcome of composing the whole file at once, as the status a load gives.
image::LoadOutcome WholeFileLoad(const image::FileLoadRequest& request, const Bytes& file, FileLoadStatus* status) {
    image::LoadRequest whole(request);
    whole.file = file.data();
    whole.fileLength = file.size();
    whole.isHex = image::IsHexExtension(image::UpperExtension(request.path));
    image::LoadOutcome expected = image::ComposeLoad(whole);
    *status = expected.status == image::ImageStatus::Ok         ? FileLoadStatus::Ok
              : expected.status == image::ImageStatus::TooLarge ? FileLoadStatus::TooLarge
              : expected.format == FileFormat::IntelHex         ? FileLoadStatus::HexError
                                                                : FileLoadStatus::FormatError;
    return expected;
}

TEST(FileLoad, SRecordReadInBlocksLandsAsTheWholeTextWould) {
    // Files far longer than the head and the read block, with their damage
    // or their stray address at the far end, loaded fresh and merged at an
    // offset: the outcome is that of composing the whole text at once.
    std::string body = hextest::SRec(0, 0, "6170700D") + "\r\n";
    for (unsigned a = 0; a < 0x30000; a += 32)
        body += hextest::SRec(2, a, "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F") + "\r\n";
    const std::string count = hextest::SRec(6, 0x30000 / 32) + "\r\n", end = hextest::SRec(8, 0) + "\r\n";
    // A first line that is a record in the head but runs on past it: the
    // whole file's first line is no record.
    std::string runsOn(image::kHeadLength - 14, '\n');
    runsOn +=
        "S1050001AABB94"
        "77\r\n" +
        body;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"good", body + count + end},
        {"good, LF and no end record",
         [&] {
             std::string t;
             for (char c : body)
                 if (c != '\r') t += c;
             return t;
         }()},
        {"good after a byte-order mark", "\xEF\xBB\xBF" + body + end},
        {"record count wrong at the end", body + hextest::SRec(6, 1) + "\r\n" + end},
        {"damaged at the end", body + "S1050001AABB00\r\n" + end},
        {"too large at the end", body + hextest::SRec(3, 0x08000000, "01") + "\r\n"},
        {"too large, then damaged", body + hextest::SRec(3, 0x08000000, "01") + "\r\nZZ\r\n"},
        {"damaged, then too large", body + "ZZ\r\n" + hextest::SRec(3, 0x08000000, "01") + "\r\n"},
        {"cut off inside a record", body.substr(0, body.size() - 7)},
        {"ended by a NUL before damage", body + std::string(1, '\0') + "ZZ\r\n"},
        {"a first record that runs on past the head", runsOn},
    };
    for (const auto& c : cases) {
        for (const std::uint32_t offset : {0u, 0x100u}) {
            SCOPED_TRACE(std::string(c.name) + (offset ? ", at an offset over a buffer" : ""));
            MemoryFiles files;
            files.files[L"big.s28"].bytes = B(c.text);
            image::FileLoadRequest request = Request(L"big.s28", 0x100000, offset);
            const Bytes current(0x200, 0x5A);
            if (offset != 0) {
                request.slot.LoadState = image::LoadState::OneFile;
                request.current = current.data();
                request.currentLength = current.size();
            }
            const image::FileLoadOutcome out = image::LoadFileForBuffer(files, request);
            FileLoadStatus status{};
            const image::LoadOutcome expected = WholeFileLoad(request, B(c.text), &status);
            EXPECT_EQ(out.status, status);
            EXPECT_EQ(out.format, expected.format);
            EXPECT_EQ(out.content, expected.content);
            EXPECT_EQ(out.pathText, expected.pathText);
        }
    }
    MemoryFiles files;
    files.files[L"good.s28"].bytes = B(body + end);
    const image::FileLoadOutcome out = image::LoadFileForBuffer(files, Request(L"good.s28", 0x100000));
    ASSERT_EQ(out.status, FileLoadStatus::Ok);
    EXPECT_EQ(out.format, FileFormat::SRecord);
    EXPECT_EQ(out.content.size(), 0x30000u);

    // A read that fails after the end record is still a failed read, as
    // when the file is read whole.
    files.files[L"bad.s28"] = {B(body + end + std::string(400000, '\n')), 0, false, body.size() + 300000};
    EXPECT_EQ(image::LoadFileForBuffer(files, Request(L"bad.s28", 0x100000)).status, FileLoadStatus::ReadError);
}

TEST(FileLoad, ElfIsReadByWhatItLoads) {
    // Two segments beyond the head, a megabyte that no segment loads (as
    // symbols and debugging data) between and after them.
    using elftest::MakeElf;
    using elftest::PutN;
    constexpr std::uint64_t kFar = image::kHeadLength + 0x80000;
    const auto build = [&](bool wide, std::vector<elftest::Seg> segs, std::size_t length) {
        Bytes f = MakeElf(wide, false, segs, length);
        for (const elftest::Seg& s : segs)
            for (std::uint64_t i = 0; i < s.filesz && s.offset + i < f.size(); ++i)
                f[s.offset + i] = static_cast<std::uint8_t>(s.paddr + i * 7);
        return f;
    };
    const elftest::Seg code{1, kFar, 0, 0x100, 0x3000, 0x3000}, data{1, kFar + 0x40000, 0, 0x8000, 0x200, 0x400};
    for (const bool wide : {false, true}) {
        const std::size_t phnumAt = wide ? 56 : 44, phentAt = wide ? 54 : 42;
        const std::size_t length = kFar + 0x100000;
        const struct {
            const char* name;
            Bytes file;
        } cases[] = {
            {"good", build(wide, {code, data, {4, 0x100, 0, 0, 0x10, 0x10}}, length)},
            {"all in the head", build(wide, {{1, 0x100, 0, 0x10, 0x40, 0x40}}, 0x200)},
            {"a segment past the end", build(wide, {code, {1, length - 0x100, 0, 0x8000, 0x101, 0x101}}, length)},
            {"overlapping segments", build(wide, {code, {1, kFar, 0, 0x3000, 0x200, 0x200}}, length)},
            {"too large for the room", build(wide, {code, {1, kFar, 0, 0x1FFFFF, 0x2, 0x2}}, length)},
            {"huge entries, huge count",
             [&] {
                 Bytes f = build(wide, {code}, length);
                 PutN(f, phentAt, 0xFFFF, 2, false);
                 PutN(f, phnumAt, 0x20, 2, false);
                 return f;
             }()},
            {"huge count past the end",
             [&] {
                 Bytes f = build(wide, {code}, length);
                 PutN(f, phnumAt, 0xFFFE, 2, false);
                 PutN(f, phentAt, 0xFFFF, 2, false);
                 return f;
             }()},
            {"cut in its header",
             [&] {
                 Bytes f = build(wide, {code}, 0x100);
                 f.resize(40);
                 return f;
             }()},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (wide ? ", 64-bit" : ", 32-bit"));
            MemoryFiles files;
            files.files[L"app.elf"].bytes = c.file;
            const image::FileLoadRequest request = Request(L"app.elf", 0x200000);
            const image::FileLoadOutcome out = image::LoadFileForBuffer(files, request);
            FileLoadStatus status{};
            const image::LoadOutcome expected = WholeFileLoad(request, c.file, &status);
            EXPECT_EQ(out.status, status);
            EXPECT_EQ(out.format, FileFormat::Elf);
            EXPECT_EQ(out.content, expected.content);
            // The head, the program headers and the segments, never the rest.
            EXPECT_LE(files.bytesRead, image::kHeadLength + 0x3200 + 0x10000);
        }
        const Bytes good = build(wide, {code, data}, length);
        MemoryFiles files;
        files.files[L"app.elf"].bytes = good;
        const image::FileLoadOutcome out = image::LoadFileForBuffer(files, Request(L"app.elf", 0x200000));
        ASSERT_EQ(out.status, FileLoadStatus::Ok);
        ASSERT_EQ(out.content.size(), 0x8200u);
        EXPECT_EQ(out.content[0x100 + 5], static_cast<std::uint8_t>(0x100 + 35));
        EXPECT_EQ(out.content[0x8000 + 0x1FF], static_cast<std::uint8_t>(0x8000 + 0x1FF * 7));
        EXPECT_EQ(out.content[0x3100], 0xFF);

        // A file shorter than it claims is damaged; a read that fails inside
        // a segment is a failed read.
        files.files[L"short.elf"] = {Bytes(good.begin(), good.begin() + kFar + 0x100), length, false};
        EXPECT_EQ(image::LoadFileForBuffer(files, Request(L"short.elf", 0x200000)).status, FileLoadStatus::FormatError);
        files.files[L"bad.elf"] = {good, 0, false, kFar + 0x1000};
        EXPECT_EQ(image::LoadFileForBuffer(files, Request(L"bad.elf", 0x200000)).status, FileLoadStatus::ReadError);
    }
}

TEST(FileLoad, OpenAndReadFailuresAreOpenFileErrors) {
    MemoryFiles files;
    image::FileLoadOutcome out = image::LoadFileForBuffer(files, Request(L"missing.bin", 0x100));
    EXPECT_EQ(out.status, FileLoadStatus::OpenError);
    EXPECT_EQ(out.systemError, 2u);
    EXPECT_EQ(LoadResultText(out.status), texts::kOpenFileError);

    files.files[L"bad.bin"] = {Bytes(10, 1), 0, true};
    out = image::LoadFileForBuffer(files, Request(L"bad.bin", 0x100));
    EXPECT_EQ(out.status, FileLoadStatus::ReadError);
    EXPECT_EQ(out.systemError, 23u);
    EXPECT_EQ(LoadResultText(out.status), texts::kOpenFileError);
}

TEST(FileLoad, FilesTooLongForAnyFormatAreRefusedUnread) {
    MemoryFiles files;
    // A length far beyond what any format could need for 0x100 bytes: not a
    // byte is read.
    files.files[L"huge.hex"] = {Bytes{}, 5ull << 30, false};
    image::FileLoadOutcome out = image::LoadFileForBuffer(files, Request(L"huge.hex", 0x100));
    EXPECT_EQ(out.status, FileLoadStatus::TooLarge);
    EXPECT_EQ(files.bytesRead, 0u);

    // A binary a byte longer than the room is refused after its head told
    // what it is, before the rest is read.
    Bytes big(3u << 20, 0x5A);
    files.files[L"big.bin"] = {big, 0, false};
    out = image::LoadFileForBuffer(files, Request(L"big.bin", 0x100));
    EXPECT_EQ(out.status, FileLoadStatus::TooLarge);
    EXPECT_LE(files.bytesRead, image::kHeadLength);

    // The room counts from the insert offset; exactly full is accepted.
    files.files[L"fit.bin"] = {Bytes(0x40, 1), 0, false};
    EXPECT_EQ(image::LoadFileForBuffer(files, Request(L"fit.bin", 0x100, 0xC0)).status, FileLoadStatus::Ok);
    EXPECT_EQ(image::LoadFileForBuffer(files, Request(L"fit.bin", 0x100, 0xC1)).status, FileLoadStatus::TooLarge);
}

TEST(FileLoad, EachFormatHasItsOwnReadLimit) {
    const std::uint64_t room = 0x1000;
    EXPECT_EQ(image::ReadLimit(FileFormat::Binary, room), room);
    // One data byte a record: 15 characters with CR LF in HEX, 20 in S3.
    EXPECT_GE(image::ReadLimit(FileFormat::IntelHex, room), room * 15);
    EXPECT_GE(image::ReadLimit(FileFormat::SRecord, room), room * 20);
    // An ELF carries symbols and debugging data besides the image.
    EXPECT_GE(image::ReadLimit(FileFormat::Elf, room), room * 16 + (16u << 20));

    // A HEX text longer than its limit is refused after its head was read.
    MemoryFiles files;
    std::string text;
    while (text.size() <= image::ReadLimit(FileFormat::IntelHex, 16)) text += hextest::Rec(0, 0, "01") + "\r\n";
    files.files[L"long.hex"] = {B(text), 0, false};
    EXPECT_EQ(image::LoadFileForBuffer(files, Request(L"long.hex", 16)).status, FileLoadStatus::TooLarge);
    EXPECT_LE(files.bytesRead, image::kHeadLength);
}

TEST(FileLoad, MergesOverTheCurrentContentLikeLoadFile) {
    MemoryFiles files;
    files.files[L"b.s19"].bytes = B("S1040002CC2D\n");
    const Bytes current = {1, 2, 3, 4, 5};
    image::FileLoadRequest r = Request(L"b.s19", 0x100);
    r.slot = {image::LoadState::OneFile, L"a.bin", L"BIN"};
    r.current = current.data();
    r.currentLength = current.size();
    const image::FileLoadOutcome out = image::LoadFileForBuffer(files, r);
    ASSERT_EQ(out.status, FileLoadStatus::Ok);
    // The image starts at address 0 of the file, so its gap below 2 is laid
    // over the old bytes as well, as with a HEX file.
    EXPECT_EQ(out.content, Bytes({0xFF, 0xFF, 0xCC, 4, 5}));
    EXPECT_EQ(out.slot.LoadState, image::LoadState::MixedFile);
    EXPECT_EQ(out.slot.FileExt, L"S19");
    EXPECT_EQ(out.pathText, L"b.s19 (Mixed file)");
}

}  // namespace
