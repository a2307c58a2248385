// HEX files written by real tools (GNU objcopy and srec_cat) from random
// binaries laid out sparsely. The parsed image must hold, at every address a
// data record wrote, what the tool's own HEX-to-binary conversion holds, and
// the erased fill everywhere else. ELF files the linker writes, and the
// S-record files made from them, must give what objcopy's binary conversion
// gives; the files our writers make must read back in objcopy as the bytes.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "image/FileFormat.h"
#include "image/IntelHex.h"

namespace {

struct Piece {
    std::uint32_t address;
    std::size_t size;
};

struct Layout {
    const char* name;
    std::vector<Piece> pieces;
};

const Layout kLayouts[] = {
    {"one byte", {{0, 1}}},
    {"exactly the first 64 KiB", {{0, 0x10000}}},
    {"odd sizes across the 64 KiB line", {{0x1000, 100}, {0xFFF0, 70001}, {0x123456, 3001}}},
    {"both sides of 1 MiB", {{0, 4096}, {0x8000, 0x9000}, {0xF0000, 0x20003}}},
    {"nothing below 128 KiB", {{0x20000, 5000}}},
    {"1 MiB and a little", {{0x10, 0x100011}}},
    {"far apart", {{0x7FF0, 40}, {0x2FFFF0, 33}}},
};

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/tarvel-img-XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string operator/(const std::string& file) const { return path_ + "/" + file; }
    bool ok() const { return !path_.empty(); }

private:
    std::string path_;
};

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string Hex(std::uint32_t v) {
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

// The HEX text and the tool's own binary conversion, which starts at address
// binStart of the file's address space.
struct Produced {
    std::vector<std::uint8_t> hex;
    std::vector<std::uint8_t> bin;
    std::uint32_t binStart = 0;
};

Produced WithObjcopy(const TempDir& dir, const Layout& layout) {
    std::string cmd = "objcopy -I binary -O elf32-i386 -B i386 --change-addresses " + Hex(layout.pieces[0].address) +
                      " " + dir / "p0.bin" + " " + dir / "first.o";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    cmd = "objcopy";
    std::uint32_t lowest = layout.pieces[0].address;
    for (std::size_t i = 1; i < layout.pieces.size(); ++i) {
        const std::string s = ".s" + std::to_string(i);
        cmd += " --add-section " + s + "=" + dir / ("p" + std::to_string(i) + ".bin") + " --set-section-flags " + s +
               "=alloc,load,contents --change-section-address " + s + "=" + Hex(layout.pieces[i].address);
        lowest = std::min(lowest, layout.pieces[i].address);
    }
    cmd += " " + dir / "first.o" + " " + dir / "all.o";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    cmd = "objcopy -O ihex " + dir / "all.o" + " " + dir / "objcopy.hex";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    cmd = "objcopy -I ihex -O binary " + dir / "objcopy.hex" + " " + dir / "objcopy.bin";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    return {ReadFile(dir / "objcopy.hex"), ReadFile(dir / "objcopy.bin"), lowest};
}

Produced WithSrecCat(const TempDir& dir, const Layout& layout) {
    std::string cmd = "srec_cat";
    for (std::size_t i = 0; i < layout.pieces.size(); ++i)
        cmd += " " + dir / ("p" + std::to_string(i) + ".bin") + " -binary -offset " + Hex(layout.pieces[i].address);
    cmd += " -execution-start-address 0x1234 -o " + dir / "srec.hex" + " -intel -output_block_size 32";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    cmd = "srec_cat " + dir / "srec.hex" + " -intel -o " + dir / "srec.bin" + " -binary";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    return {ReadFile(dir / "srec.hex"), ReadFile(dir / "srec.bin"), 0};  // srec_cat writes absolute addresses
}

void CheckAgainstProducer(const Layout& layout, const Produced& p) {
    ASSERT_FALSE(p.hex.empty());
    const image::ImageResult r = image::ParseIntelHex(p.hex.data(), p.hex.size(), 64u << 20);
    ASSERT_EQ(r.status, image::ImageStatus::Ok);

    std::vector<bool> written;
    std::size_t end = 0;
    for (const Piece& piece : layout.pieces) end = std::max(end, piece.address + piece.size);
    written.assign(end, false);
    for (const Piece& piece : layout.pieces)
        for (std::size_t a = piece.address; a < piece.address + piece.size; ++a) written[a] = true;

    ASSERT_EQ(r.bytes.size(), end);
    std::size_t mismatches = 0;
    for (std::size_t a = 0; a < end && mismatches < 5; ++a) {
        std::uint8_t want;
        if (written[a]) {
            ASSERT_GE(a, p.binStart);
            ASSERT_LT(a - p.binStart, p.bin.size());
            want = p.bin[a - p.binStart];
        } else {
            want = a < 0x10000 ? 0xFF : 0x00;
        }
        if (r.bytes[a] != want) {
            ++mismatches;
            ADD_FAILURE() << "address " << Hex(static_cast<std::uint32_t>(a)) << ": parsed " << int{r.bytes[a]}
                          << ", expected " << int{want};
        }
    }
}

TEST(Producers, ToolsAreInstalled) {
    // scripts/install-deps.sh installs binutils and srecord; a missing tool is
    // a broken test machine, not a reason to skip.
    ASSERT_EQ(Shell("command -v objcopy"), 0) << "objcopy (binutils) is not installed";
    ASSERT_EQ(Shell("command -v srec_cat"), 0) << "srec_cat (srecord) is not installed";
}

TEST(Producers, ParsedImageMatchesTheToolsOwnConversion) {
    std::mt19937 rng(20240605);
    bool sawSegment = false, sawLinear = false, sawStart = false;
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        TempDir dir;
        ASSERT_TRUE(dir.ok());
        for (std::size_t i = 0; i < layout.pieces.size(); ++i) {
            std::vector<std::uint8_t> bytes(layout.pieces[i].size);
            for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
            WriteFile(dir / ("p" + std::to_string(i) + ".bin"), bytes);
        }
        {
            SCOPED_TRACE("objcopy -O ihex");
            const Produced p = WithObjcopy(dir, layout);
            const std::string text(p.hex.begin(), p.hex.end());
            sawSegment |= text.find(":02000002") != std::string::npos;
            sawLinear |= text.find(":02000004") != std::string::npos;
            CheckAgainstProducer(layout, p);
        }
        {
            SCOPED_TRACE("srec_cat -intel");
            const Produced p = WithSrecCat(dir, layout);
            const std::string text(p.hex.begin(), p.hex.end());
            sawStart |= text.find(":04000005") != std::string::npos;
            CheckAgainstProducer(layout, p);
        }
    }
    // The layouts must make the tools use every kind of base record.
    EXPECT_TRUE(sawSegment);
    EXPECT_TRUE(sawLinear);
    EXPECT_TRUE(sawStart);
}

// A firmware ELF as the native linker writes one: code at codeAt, initialised
// data that runs at 0x20000000 but is kept in Flash after the code (its load
// address differs from its run address), and .bss after the data.
struct LinkedElf {
    const char* name;
    bool wide;
    std::uint32_t codeAt;
    std::size_t codeSize, dataSize;
    std::uint32_t dataGap;  // between the end of the code and the data's load address
};

const LinkedElf kElves[] = {
    {"32-bit, code at 0", false, 0, 1000, 100, 0},
    {"32-bit, code at 0x8000, data after a gap", false, 0x8000, 3000, 500, 0x40},
    {"64-bit, across the 128 KiB line", true, 0x1F000, 0x3001, 0x777, 0x100},
};

std::string Link(const TempDir& dir, const LinkedElf& e) {
    const std::string bfd = e.wide ? "-O elf64-x86-64 -B i386:x86-64" : "-O elf32-i386 -B i386";
    std::string cmd = "objcopy -I binary " + bfd + " --rename-section .data=.code " + dir / "code.bin" + " " +
                      dir / "code.o" + " && objcopy -I binary " + bfd + " --rename-section .data=.init_data " +
                      dir / "data.bin" + " " + dir / "data.o";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    std::ofstream script(dir / "fw.ld");
    script << "SECTIONS {\n  . = " << Hex(e.codeAt) << ";\n  .text : { *(.code) }\n"
           << "  .data 0x20000000 : AT(ADDR(.text) + SIZEOF(.text) + " << Hex(e.dataGap) << ") { *(.init_data) }\n"
           << "  .bss : { . += 0x200; }\n}\n";
    script.close();
    cmd = std::string("ld ") + (e.wide ? "-m elf_x86_64" : "-m elf_i386") + " -T " + dir / "fw.ld" + " " +
          dir / "code.o" + " " + dir / "data.o" + " -o " + dir / "fw.elf";
    EXPECT_EQ(Shell(cmd), 0) << cmd;
    return dir / "fw.elf";
}

// The parsed image is 0xFF below `lowest` and objcopy's binary from there on.
void ExpectSameAsObjcopy(const std::vector<std::uint8_t>& file, image::FileFormat format, std::uint32_t lowest,
                         const std::vector<std::uint8_t>& reference) {
    ASSERT_FALSE(file.empty());
    ASSERT_EQ(image::DetectFormat(file.data(), file.size(), false), format);
    const image::ImageResult r = image::ParseFormat(format, file.data(), file.size(), 64u << 20);
    ASSERT_EQ(r.status, image::ImageStatus::Ok);
    ASSERT_EQ(r.bytes.size(), lowest + reference.size());
    for (std::size_t a = 0; a < lowest; ++a) ASSERT_EQ(r.bytes[a], 0xFF) << "address " << a;
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), r.bytes.begin() + lowest));
}

TEST(Producers, LinkedElfAndItsSRecordsGiveObjcopysBinary) {
    std::mt19937 rng(1717);
    bool sawS2 = false, sawS3 = false;
    for (const LinkedElf& e : kElves) {
        SCOPED_TRACE(e.name);
        TempDir dir;
        ASSERT_TRUE(dir.ok());
        std::vector<std::uint8_t> code(e.codeSize), data(e.dataSize);
        for (auto& b : code) b = static_cast<std::uint8_t>(rng());
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        WriteFile(dir / "code.bin", code);
        WriteFile(dir / "data.bin", data);
        const std::string elf = Link(dir, e);
        std::string cmd = "objcopy --gap-fill 0xFF -O binary " + elf + " " + dir / "ref.bin";
        ASSERT_EQ(Shell(cmd), 0) << cmd;
        const std::vector<std::uint8_t> reference = ReadFile(dir / "ref.bin");
        // The reference is code, gap, data: the data's run address plays no part.
        ASSERT_EQ(reference.size(), e.codeSize + e.dataGap + e.dataSize);
        {
            SCOPED_TRACE("ELF");
            ExpectSameAsObjcopy(ReadFile(elf), image::FileFormat::Elf, e.codeAt, reference);
        }
        cmd = "objcopy -O srec " + elf + " " + dir / "fw.srec" + " && objcopy -O srec --srec-forceS3 " + elf + " " +
              dir / "fw.s37";
        ASSERT_EQ(Shell(cmd), 0) << cmd;
        cmd = "srec_cat " + dir / "ref.bin" + " -binary -offset " + Hex(e.codeAt) + " -o " + dir / "cat.s19" +
              " -motorola";
        ASSERT_EQ(Shell(cmd), 0) << cmd;
        for (const char* name : {"fw.srec", "fw.s37", "cat.s19"}) {
            SCOPED_TRACE(name);
            const std::vector<std::uint8_t> text = ReadFile(dir / name);
            const std::string t(text.begin(), text.end());
            sawS2 |= t.find("\nS2") != std::string::npos;
            sawS3 |= t.find("\nS3") != std::string::npos;
            ExpectSameAsObjcopy(text, image::FileFormat::SRecord, e.codeAt, reference);
        }
    }
    EXPECT_TRUE(sawS2);
    EXPECT_TRUE(sawS3);
}

TEST(Producers, ObjcopyReadsOurHexAndSRecordFilesAsTheBuffer) {
    std::mt19937 rng(4242);
    for (const std::size_t n : {std::size_t{1}, std::size_t{0x10000}, std::size_t{0x23457}}) {
        SCOPED_TRACE(n);
        TempDir dir;
        ASSERT_TRUE(dir.ok());
        std::vector<std::uint8_t> buffer(n);
        for (auto& b : buffer) b = static_cast<std::uint8_t>(rng());
        for (const auto& [format, name, bfd] : {std::tuple{image::FileFormat::IntelHex, "ours.hex", "ihex"},
                                                std::tuple{image::FileFormat::SRecord, "ours.s37", "srec"}}) {
            SCOPED_TRACE(name);
            std::string text;
            image::EncodeImage(format, buffer.data(), buffer.size(), text);
            WriteFile(dir / name, std::vector<std::uint8_t>(text.begin(), text.end()));
            const std::string cmd =
                std::string("objcopy -I ") + bfd + " -O binary " + dir / name + " " + dir / "back.bin";
            ASSERT_EQ(Shell(cmd), 0) << cmd;
            EXPECT_TRUE(ReadFile(dir / "back.bin") == buffer);
        }
    }
}

}  // namespace
