// Tarvel_CLI.exe under Wine, run from the Linux side as a production script
// runs it: each test gets a folder with the programmer, a copy of the
// stand-in Tarvel_DLL.dll and the library's Tarvel_DLL.ini (pace off, short
// re-seat delay unless a test wants otherwise). The COM tests talk to the
// native target simulator on a socat pty pair that run-cli-e2e.sh links to
// Wine's COM port, and change its scenario through its control file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/Odbc.h"
#include "image/ByteSum.h"
#include "image/Crc32.h"
#include "image/ImageCompose.h"
#include "image/LoadState.h"
#include "tarvel_dll/protocol/Crc.h"
#include "tarvel_dll/protocol/PartsTable.h"
#include "tarvel_dll/protocol/Protocol.h"
#include "tests/cli/Process.h"
#include "tests/support/JsonRead.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using clitest::RunResult;
using jsonread::Value;

struct Environment {
    std::string winBin;               // folder of Tarvel_CLI.exe, Tarvel_DLL.dll, Tarvel_DLL_partial.dll
    std::string simDir;               // the simulator's output folder (COM tests)
    std::string com;                  // the Wine COM port linked to the simulator
    std::string idleCom;              // a COM name with no device behind it
    std::string nullCom;              // a COM name that opens a device that is no serial port
    std::string lostCom, lostSimDir;  // a port whose pty pair a test closes for good
    int lostSocatPid = 0;             // the socat that holds that pair
    std::string gangDir;              // COM21 to COM24 with their simulators writing to gangDir/gangN
    int gangLostSocatPid = 0;         // the socat of COM24's pair, which a gang test closes for good
} g_env;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes ReadBytes(const std::string& path) {
    const std::string s = Slurp(path);
    return Bytes(s.begin(), s.end());
}

void WriteBytes(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void WriteText(const std::string& path, const std::string& s) { WriteBytes(path, Bytes(s.begin(), s.end())); }

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

Bytes Random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::vector<Value> JsonLines(const std::string& out) {
    std::vector<Value> values;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        Value v;
        std::string error;
        EXPECT_TRUE(jsonread::Parse(line, &v, &error)) << error << ": " << line;
        values.push_back(v);
    }
    return values;
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> cells(1);
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                cells.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (c == ',' && !quoted) {
                cells.emplace_back();
            } else {
                cells.back() += c;
            }
        }
        rows.push_back(cells);
    }
    return rows;
}

const std::string kFastLink = "[Link]\nReplyTimeoutMs=300\nSyncIntervalMs=20\n";

// A folder with the programmer and its own copy of the library.
class Folder {
public:
    explicit Folder(bool withLibrary = true) {
        char name[] = "/tmp/tarvel-cli-XXXXXX";
        if (mkdtemp(name) != nullptr) path_ = name;
        Shell("cp '" + g_env.winBin + "/Tarvel_CLI.exe' '" + path_ + "/'");
        if (withLibrary) {
            Shell("cp '" + g_env.winBin + "/Tarvel_DLL.dll' '" + path_ + "/'");
            Adapter("");
        }
    }
    ~Folder() {
        if (!path_.empty() && std::getenv("TARVEL_KEEP_TEST_FOLDERS") == nullptr) Shell("rm -rf '" + path_ + "'");
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The library's settings: explicit pace and re-seat delay, whatever its
    // defaults are, plus the scenario lines of the built-in adapter.
    void Adapter(const std::string& lines, const std::string& more = "") {
        WriteText(File("Tarvel_DLL.ini"), kFastLink + more + "[Adapter]\npace=0\nrepeat-delay-ms=50\n" + lines);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

    std::vector<std::string> Command(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {"wine", File("Tarvel_CLI.exe")};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    RunResult Cli(const std::vector<std::string>& args, int timeoutMs = 60000) const {
        return clitest::Run(Command(args), path_, timeoutMs);
    }

private:
    std::string path_;
};

std::string Describe(const RunResult& r) {
    return "exit " + std::to_string(r.exitCode) + (r.timedOut ? " (timed out)" : "") + "\n--- out\n" + r.out +
           "--- err\n" + r.err;
}

// ---------------------------------------------------------------- image

// The window's loader, step by step: the same image core call the window's
// Load File makes, fed with the same files.
struct LoadStep {
    std::string file;
    std::uint32_t offset = 0;
    bool clear = false;
};

Bytes WindowLoads(const std::string& folder, const std::vector<LoadStep>& steps, std::uint32_t capacity) {
    Bytes content;
    image::BufferSlot slot;
    for (const LoadStep& s : steps) {
        const Bytes file = ReadBytes(folder + "/" + s.file);
        const std::wstring path(s.file.begin(), s.file.end());
        image::LoadRequest req;
        req.file = file.data();
        req.fileLength = file.size();
        req.isHex = image::IsHexExtension(image::UpperExtension(path));
        req.current = content.data();
        req.currentLength = content.size();
        req.slot = slot;
        req.insert.InsertOffset = s.offset;
        req.insert.ClearFirst = s.clear ? 1 : 0;
        req.path = path;
        req.capacity = capacity;
        image::LoadOutcome out = image::ComposeLoad(req);
        EXPECT_EQ(out.status, image::ImageStatus::Ok) << s.file;
        content = out.content;
        slot = out.slot;
    }
    return content;
}

std::string Hex4(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

std::string Hex8(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

TEST(CliImage, BuildsWhatTheWindowsLoaderPutsInTheBuffer) {
    Folder f;
    const Bytes low = Random(3000, 1), mid = Random(40000, 2), high = Random(5000, 3), cal = Random(700, 4);
    WriteBytes(f.File("low.bin"), low);
    WriteBytes(f.File("mid.bin"), mid);
    WriteBytes(f.File("high.bin"), high);
    WriteBytes(f.File("cal.dat"), cal);
    // HEX files from the tools a firmware build uses: GNU objcopy and
    // srec_cat, with gaps, across the 64 KiB line and above it.
    ASSERT_EQ(
        Shell("cd '" + f.Path() + "' && objcopy -I binary -O ihex --change-addresses 0x100 low.bin low_objcopy.hex"),
        0);
    ASSERT_EQ(Shell("cd '" + f.Path() + "' && srec_cat mid.bin -binary -offset 0xF000 -o mid_srec.hex -intel"), 0);
    ASSERT_EQ(Shell("cd '" + f.Path() +
                    "' && srec_cat low.bin -binary -offset 0x20 high.bin -binary -offset 0x30000 "
                    "-o sparse_srec.HEX -intel -address-length=4"),
              0);

    struct Case {
        const char* name;
        std::vector<std::string> args;  // --flash/--eeprom arguments
        std::vector<LoadStep> steps;
        bool eeprom;
        Bytes known;  // worked out by hand where that is plain
    };
    auto ff = [](std::size_t n) { return Bytes(n, 0xFF); };
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    // clang-format off
    const Case cases[] = {
        {"binary", {"--flash", "low.bin"}, {{"low.bin"}}, false, low},
        {"binary at an IAP address", {"--flash", "low.bin@0x7000"}, {{"low.bin", 0x7000}}, false, cat({ff(0x7000), low})},
        {"objcopy HEX", {"--flash", "low_objcopy.hex"}, {{"low_objcopy.hex"}}, false, cat({ff(0x100), low})},
        {"srec_cat HEX across 64 KiB", {"--flash", "mid_srec.hex"}, {{"mid_srec.hex"}}, false, cat({ff(0xF000), mid})},
        {"srec_cat sparse HEX above 64 KiB", {"--flash", "sparse_srec.HEX"}, {{"sparse_srec.HEX"}}, false, {}},
        {"HEX at an IAP address", {"--flash", "low_objcopy.hex@1000"}, {{"low_objcopy.hex", 0x1000}}, false,
         cat({ff(0x1100), low})},
        {"merge: binary over HEX", {"--flash", "mid_srec.hex", "--flash", "low.bin@F800"},
         {{"mid_srec.hex"}, {"low.bin", 0xF800}}, false, {}},
        {"merge: three files", {"--flash", "low.bin", "--flash", "sparse_srec.HEX", "--flash", "high.bin@2000"},
         {{"low.bin"}, {"sparse_srec.HEX"}, {"high.bin", 0x2000}}, false, {}},
        {"clear drops the earlier files", {"--flash", "mid_srec.hex", "--clear", "--flash", "low.bin@100"},
         {{"mid_srec.hex"}, {"low.bin", 0x100, true}}, false, cat({ff(0x100), low})},
        {"EEPROM file with another extension", {"--eeprom", "cal.dat@0x100"}, {{"cal.dat", 0x100}}, true,
         cat({ff(0x100), cal})},
    };
    // clang-format on
    const std::uint32_t flashCapacity = 512 * 1024, eepromCapacity = 4096;  // T40F512
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> dirs = {c.eeprom ? "--eeprom-out" : "--out", "image.bin"};
        std::vector<std::string> args = {"image", "--part", "T40F512", "--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), dirs.begin(), dirs.end());
        ::unlink(f.File("image.bin").c_str());
        const RunResult r = f.Cli(args);
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        const Bytes built = ReadBytes(f.File("image.bin"));
        const Bytes window = WindowLoads(f.Path(), c.steps, c.eeprom ? eepromCapacity : flashCapacity);
        EXPECT_TRUE(built == window) << "built " << built.size() << " bytes, the window's buffer " << window.size();
        if (!c.known.empty()) {
            EXPECT_TRUE(built == c.known) << "built " << built.size() << " bytes";
        }
        const std::vector<Value> records = JsonLines(r.out);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0]["area"].text, c.eeprom ? "eeprom" : "flash");
        EXPECT_EQ(records[0]["size"].Unsigned(), window.size());
        EXPECT_EQ(records[0]["checksum"].text, Hex4(image::ByteSum16(window.data(), window.size())));
        EXPECT_EQ(records[0]["crc32"].text, Hex8(tarvel::Crc32(window.data(), window.size())));
    }
}

TEST(CliImage, FormatsAreToldByContentAndOutputsByExtension) {
    Folder f;
    const Bytes low = Random(3000, 7);
    WriteBytes(f.File("low.bin"), low);
    // An S-record file under a name of its own and a HEX file named .ihx,
    // both written by objcopy at 0x200.
    ASSERT_EQ(Shell("cd '" + f.Path() +
                    "' && objcopy -I binary -O srec --change-addresses 0x200 low.bin low.mot"
                    " && objcopy -I binary -O ihex --change-addresses 0x200 low.bin low.ihx"),
              0);
    WriteText(f.File("bad.s19"), "S1050000AABB95\nS1050002AABB00\n");  // the second checksum is wrong
    Bytes want(0x200, 0xFF);
    want.insert(want.end(), low.begin(), low.end());
    for (const char* in : {"low.mot", "low.ihx"}) {
        for (const auto& [out, bfd] :
             {std::pair{"image.hex", "ihex"}, std::pair{"image.s37", "srec"}, std::pair{"image.bin", "binary"}}) {
            SCOPED_TRACE(std::string(in) + " -> " + out);
            const RunResult r = f.Cli({"image", "--part", "T40F512", "--flash", in, "--out", out});
            ASSERT_EQ(r.exitCode, 0) << Describe(r);
            ASSERT_EQ(
                Shell("cd '" + f.Path() + "' && objcopy --gap-fill 0xFF -I " + bfd + " -O binary " + out + " back.bin"),
                0);
            EXPECT_TRUE(ReadBytes(f.File("back.bin")) == want);
        }
    }
    const RunResult r = f.Cli({"image", "--part", "T40F512", "--flash", "bad.s19", "--out", "image.bin"});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("File format error"), std::string::npos) << Describe(r);
}

TEST(CliImage, RefusesBadFilesWithTheWindowsMessages) {
    Folder f;
    WriteBytes(f.File("full.bin"), Random(65536, 5));
    WriteBytes(f.File("over.bin"), Random(65537, 6));
    WriteText(f.File("bad.hex"), ":0300020011223396\n:00000001FF\n");
    WriteText(f.File("far.hex"), ":020000040001F9\n:0100000055AA\n:00000001FF\n");  // a byte at 0x10000
    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* message;
    };
    // clang-format off
    const Case cases[] = {
        {{"--flash", "full.bin"}, 0, ""},
        {{"--flash", "over.bin"}, 3, "File is too large !"},
        {{"--flash", "full.bin@1"}, 3, "File is too large !"},
        {{"--flash", "far.hex"}, 3, "File is too large !"},
        {{"--flash", "bad.hex"}, 3, "HEX file error"},
        {{"--flash", "missing.bin"}, 3, "Open file error"},
        {{"--flash", "."}, 3, "Open file error"},
        {{"--flash", "full.bin", "--out", "no/such/folder/x.bin"}, 3, "cannot write"},
        {{"--flash", "full.bin", "--eeprom-out", "e.bin"}, 2, "no eeprom file"},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<std::string> args = {"image", "--part", "T30C64"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = f.Cli(args);
        SCOPED_TRACE(c.args[1]);
        EXPECT_EQ(r.exitCode, c.exit) << Describe(r);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << Describe(r);
    }
}

TEST(CliImage, FileAnotherProgramHoldsIsAnOpenFileError) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(1024, 18));
    f.Adapter("never\n");
    // A programmer waiting for a board keeps its log open for writing; the
    // loader, which opens without sharing, must refuse to read it meanwhile.
    clitest::Process holder(f.Command({"program", "--port", "KV707", "--part", "T30C64", "--flash", "fw.bin",
                                       "--forever", "--log", "held.csv", "--progress"}),
                            f.Path());
    RunResult locked;
    bool tried = false;
    const RunResult first = holder.Wait(60000, [&](const std::string& err) {
        if (!tried && err.find("Please repower on DUT") != std::string::npos) {
            tried = true;
            locked = f.Cli({"image", "--part", "T30C64", "--flash", "held.csv"});
            holder.SignalGroup(SIGINT);
        }
    });
    ASSERT_TRUE(tried) << Describe(first);
    EXPECT_EQ(locked.exitCode, 3) << Describe(locked);
    EXPECT_NE(locked.err.find("Open file error: held.csv"), std::string::npos) << Describe(locked);
    EXPECT_EQ(first.exitCode, 6) << Describe(first);
    // Once the holder is gone the same file loads.
    const RunResult after = f.Cli({"image", "--part", "T30C64", "--flash", "held.csv"});
    EXPECT_EQ(after.exitCode, 0) << Describe(after);
}

// ---------------------------------------------------------------- usage, library

TEST(CliUsage, BadCommandLinesGetAMessageAndExitCode2) {
    Folder f;
    WriteBytes(f.File("a.bin"), Random(1024, 7));
    const std::vector<std::string> base = {"program", "--port", "KV707", "--flash", "a.bin"};
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    // clang-format off
    const Case cases[] = {
        {{}, "no command"},
        {{"burn"}, "unknown command"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash"}, "--flash needs a value"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash", "a.bin", "--turbo"}, "unknown option --turbo"},
        {{"program", "--port", "KV707", "--part", "NOPE", "--flash", "a.bin"}, "unknown part 'NOPE'"},
        {{"program", "--port", "LPT1", "--part", "T30C64", "--flash", "a.bin"}, "'LPT1'"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash", "a.bin", "--baud", "14400"}, "not offered"},
        {{"program", "--port", "KV707", "--part", "HX2560", "--flash", "a.bin", "--baud", "Auto"}, "not offered"},
        {{"program", "--port", "KV707", "--part", "T30C128", "--flash", "a.bin", "--option-bits", "8"}, "3 option bits"},
        {{"program", "--port", "KV707", "--part", "T30C128", "--flash", "a.bin", "--eeprom", "a.bin"}, "no EEPROM"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash", "a.bin@FC00", "--serial-addr", "FFFE"},
         "past the part's Flash"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash", "a.bin", "--serial-addr", "0", "--serial-width",
          "1", "--serial-start", "250", "--repeat", "7"},
         "do not fit 1 bytes"},
        {{"dump", "--port", "KV707", "--part", "T30C64"}, "class 1 and 2"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const RunResult r = f.Cli(c.args);
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << Describe(r);
        EXPECT_TRUE(r.out.empty()) << Describe(r);
    }
    // --help documents every exit code and succeeds.
    const RunResult help = f.Cli({"--help"});
    EXPECT_EQ(help.exitCode, 0) << Describe(help);
    for (int code = 0; code <= 6; ++code)
        EXPECT_NE(help.out.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
}

// image --checksum writes the image with the value in it; a step that cannot
// be read or does not fit the part is a usage error.
TEST(CliImage, ChecksumStepsAreWrittenIntoTheImageAndBadOnesExit2) {
    Folder f;
    const Bytes fw = Random(1000, 52);
    WriteBytes(f.File("fw.bin"), fw);
    const RunResult r =
        f.Cli({"image", "--part", "T30C64", "--flash", "fw.bin", "--checksum", "crc16-xmodem:0-3E7@3E8:big",
               "--checksum", "sum8-twos:0-3E9@3EA", "--out", "out.bin", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const Bytes out = ReadBytes(f.File("out.bin"));
    ASSERT_EQ(out.size(), 0x3EBu);
    EXPECT_TRUE(Bytes(out.begin(), out.begin() + 1000) == fw);
    unsigned sum = 0;
    for (std::uint8_t b : out) sum += b;
    EXPECT_EQ(sum & 0xFF, 0u) << "the two's-complement sum covers the CRC stored before it";
    const std::vector<Value> records = JsonLines(r.out);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0]["checksums"].items.size(), 2u) << Describe(r);
    EXPECT_EQ(records[0]["checksums"].items[0].text,
              "crc16-xmodem@0x03E8=" + Hex4(static_cast<std::uint32_t>(out[0x3E8] << 8 | out[0x3E9])));

    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"image", "--part", "T30C64", "--flash", "fw.bin", "--checksum", "crc99:0-F@10"}, "unknown algorithm 'crc99'"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash", "fw.bin", "--checksum", "crc32:0-F"},
         "expected ALG:START-END@ADDR"},
        {{"image", "--part", "T30C64", "--flash", "fw.bin", "--checksum", "crc32:0-FFFB@FFFC"}, ""},
        {{"image", "--part", "T30C64", "--flash", "fw.bin", "--checksum", "crc32:0-FFFF@10000"},
         "lies past the area's 65536 bytes"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash", "fw.bin", "--checksum", "sum16:0-FFFF@0"},
         "would lie inside its own range"},
        {{"program", "--port", "KV707", "--part", "T30C64", "--flash", "fw.bin", "--serial-addr", "7FF0", "--checksum",
          "crc32:0-7FEF@7FF2"},
         "would overwrite the serial field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const RunResult bad = f.Cli(c.args);
        if (*c.message == 0) {
            EXPECT_EQ(bad.exitCode, 0) << Describe(bad);  // the last bytes of the part are in reach
            continue;
        }
        EXPECT_EQ(bad.exitCode, 2) << Describe(bad);
        EXPECT_NE(bad.err.find(c.message), std::string::npos) << Describe(bad);
    }
}

TEST(CliLibrary, MissingIncompleteOrEmptyLibraryExits4) {
    Folder none(false);
    RunResult r = none.Cli({"parts"});
    EXPECT_EQ(r.exitCode, 4) << Describe(r);
    EXPECT_NE(r.err.find("Tarvel_DLL.dll not found"), std::string::npos) << Describe(r);
    // --version still answers, saying the library is not there.
    r = none.Cli({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("not available"), std::string::npos) << Describe(r);

    Folder partial(false);
    Shell("cp '" + g_env.winBin + "/Tarvel_DLL_partial.dll' '" + partial.File("Tarvel_DLL.dll") + "'");
    r = partial.Cli({"image", "--part", "T30C64", "--flash", "x.bin"});
    EXPECT_EQ(r.exitCode, 4) << Describe(r);
    for (const char* op : {"OpenPort", "ClosePort", "UpdateMCU", "DumpInfo"})
        EXPECT_NE(r.err.find(op), std::string::npos) << op << "\n" << Describe(r);

    Folder empty;
    empty.Adapter("", "[Parts]\nTable=empty\n");
    r = empty.Cli({"parts", "--json"});
    EXPECT_EQ(r.exitCode, 4) << Describe(r);
    EXPECT_NE(r.err.find("lists no parts"), std::string::npos) << Describe(r);
}

TEST(CliParts, ListsTheLibrarysTable) {
    Folder f;
    const RunResult r = f.Cli({"parts", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> parts = JsonLines(r.out);
    const tarvel::PartsView table = tarvel::Parts(tarvel::TableVariant::Normal);
    ASSERT_EQ(parts.size(), table.Count);
    for (std::uint32_t i = 0; i < table.Count; ++i) {
        const isp::BodyInfo& b = table.Body[i];
        EXPECT_EQ(parts[i]["name"].text, std::string(b.PartName, b.PartName + std::wcslen(b.PartName)));
        EXPECT_EQ(parts[i]["flash"].Unsigned(), b.CodeCapacity);
        EXPECT_EQ(parts[i]["eeprom"].Unsigned(), b.DataCapacity);
        EXPECT_EQ(parts[i]["class"].Unsigned(), static_cast<std::uint64_t>(b.PartClass));
        EXPECT_EQ(parts[i]["data_address"].text, Hex8(b.DataAddress));
        EXPECT_EQ(parts[i]["options"].items.size(), std::min<std::uint32_t>(b.OptionCount, 8));
    }
    // The part of two families lists both names.
    EXPECT_EQ(parts[table.Count - 1]["families"].items.size(), 2u);
    const RunResult text = f.Cli({"parts"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("HX1280D    T10 B9 Series, HX Series"), std::string::npos) << text.out;
}

// ---------------------------------------------------------------- program over KV707

TEST(CliProgram, EveryResultCodeGivesItsTextAndExitCode) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(4096, 8));
    struct Case {
        const char* scenario;  // [Adapter] lines
        std::vector<std::string> extra;
        int code;
        const char* outcome;
        int exit;
    };
    // clang-format off
    const Case cases[] = {
        {"", {}, 101, "Pass", 0},
        {"fail=sync\n", {}, 108, "Set sync error", 1},
        {"fail=erase\n", {}, 110, "Erase error", 1},
        {"fail=option\n", {}, 109, "Write OR error", 1},
        {"fail=register\n", {}, 111, "Register error", 1},
        {"fail=program\nfail-offset=2048\n", {}, 112, "Program error", 1},
        {"fail=verify\nfail-offset=100\n", {}, 112, "Program error", 1},
        {"fail=silent\nfail-offset=1024\n", {}, 104, "Not find device", 1},
        {"customer-id=0x12345678\n", {}, 105, "CustomerID error", 1},
        {"device-id=0x1\n", {}, 106, "DeviceID error", 1},
        {"max-baud=9600\n", {"--baud", "57600"}, 107, "BaudRate too large", 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        f.Adapter(c.scenario);
        std::vector<std::string> args = {"program", "--port", "KV707", "--part", "T30C64", "--flash", "fw.bin"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        std::vector<std::string> json = args;
        json.push_back("--json");
        RunResult r = f.Cli(json);
        EXPECT_EQ(r.exitCode, c.exit) << Describe(r);
        const std::vector<Value> records = JsonLines(r.out);
        ASSERT_EQ(records.size(), 2u) << Describe(r);
        EXPECT_EQ(records[0]["code"].Unsigned(), static_cast<std::uint64_t>(c.code));
        EXPECT_EQ(records[0]["outcome"].text, c.outcome);
        EXPECT_EQ(records[1]["record"].text, "summary");
        EXPECT_EQ(records[1]["exit_code"].Unsigned(), static_cast<std::uint64_t>(c.exit));
        // The console line says the same.
        r = f.Cli(args);
        EXPECT_EQ(r.exitCode, c.exit) << Describe(r);
        EXPECT_NE(r.out.find(std::string("  ") + c.outcome + "  ["), std::string::npos) << Describe(r);
    }
}

TEST(CliProgram, RepeatWritesEachBoardsSerialAndKeepsJsonAndCsvInStep) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(8192, 9));
    const RunResult r = f.Cli({"program", "--port",        "KV707", "--part",         "T30C64", "--flash",
                               "fw.bin",  "--repeat",      "4",     "--serial-addr",  "1FF0",   "--serial-start",
                               "0xFFFE",  "--serial-step", "3",     "--serial-width", "3",      "--serial-endian",
                               "big",     "--json",        "--log", "run.csv"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 5u) << Describe(r);
    const std::uint64_t serials[] = {0xFFFE, 0x10001, 0x10004, 0x10007};
    const std::vector<std::vector<std::string>> rows = CsvRows(Slurp(f.File("run.csv")));
    ASSERT_EQ(rows.size(), 6u);  // header, four boards, summary
    EXPECT_EQ(rows[0][0], "record");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i]["board"].Unsigned(), static_cast<std::uint64_t>(i + 1));
        EXPECT_EQ(records[i]["serial"].Unsigned(), serials[i]);
        EXPECT_TRUE(records[i]["passed"].boolean);
        const std::vector<std::string>& row = rows[static_cast<std::size_t>(i) + 1];
        ASSERT_EQ(row.size(), rows[0].size());
        EXPECT_EQ(row[0], "board");
        EXPECT_EQ(row[1], records[i]["time"].text);
        EXPECT_EQ(row[2], records[i]["board"].text);
        EXPECT_EQ(row[3], records[i]["serial"].text);
        EXPECT_EQ(row[4], "101");
        EXPECT_EQ(row[5], "Pass");
    }
    EXPECT_EQ(records[4]["passed"].Unsigned(), 4u);
    EXPECT_EQ(rows[5][0], "summary");
    EXPECT_EQ(rows[5][7], "4");

    // A second run appends to the same log without a second header.
    const RunResult again =
        f.Cli({"program", "--port", "KV707", "--part", "T30C64", "--flash", "fw.bin", "--log", "run.csv"});
    EXPECT_EQ(again.exitCode, 0) << Describe(again);
    const std::vector<std::vector<std::string>> after = CsvRows(Slurp(f.File("run.csv")));
    ASSERT_EQ(after.size(), 8u);
    EXPECT_EQ(after[6][0], "board");
    EXPECT_EQ(after[7][0], "summary");
}

TEST(CliProgram, FailedBoardEndsARepeatRunUnlessKeepGoing) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(2048, 10));
    f.Adapter("fail=erase\n");
    const std::vector<std::string> base = {"program", "--port",   "KV707", "--part",        "T20G8", "--flash",
                                           "fw.bin",  "--repeat", "3",     "--serial-addr", "0",     "--json"};
    RunResult r = f.Cli(base);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    std::vector<Value> records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1]["failed"].Unsigned(), 1u);

    std::vector<std::string> keepGoing = base;
    keepGoing.push_back("--keep-going");
    r = f.Cli(keepGoing);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 4u);
    // A failed board does not use up its serial number.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(records[i]["serial"].Unsigned(), 1u);
    EXPECT_EQ(records[3]["failed"].Unsigned(), 3u);
}

std::vector<std::uint64_t> Serials(const std::vector<Value>& records) {
    std::vector<std::uint64_t> serials;
    for (const Value& r : records)
        if (r["record"].text == "board" && r["passed"].boolean) serials.push_back(r["serial"].Unsigned());
    return serials;
}

// A state file carries the numbers over runs: a second run continues (and
// says that the file wins over its --serial-start), a run killed while its
// board held a number leaves that number unused for ever, and a second
// programmer on the same file while one runs is refused.
TEST(CliProgram, SerialStateCarriesOverRunsAndAKilledRun) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(2048, 30));
    std::vector<std::string> args = {"program", "--port",        "KV707", "--part",         "T20G8",       "--flash",
                                     "fw.bin",  "--serial-addr", "10",    "--serial-state", "line1.state", "--json"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> a = args;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    RunResult r = f.Cli(with({"--serial-start", "100", "--repeat", "3"}));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), (std::vector<std::uint64_t>{100, 101, 102}));

    r = f.Cli(with({"--serial-start", "5", "--repeat", "2"}));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), (std::vector<std::uint64_t>{103, 104}));
    EXPECT_NE(r.err.find("wins over --serial-start"), std::string::npos) << Describe(r);

    // No target ever answers: the board waits holding number 105.
    f.Adapter("never\n");
    {
        clitest::Process held(f.Command(with({"--forever", "--progress"})), f.Path());
        bool waiting = false;
        const RunResult killed = held.Wait(60000, [&](const std::string& err) {
            if (waiting || err.find("Please repower on DUT") == std::string::npos) return;
            waiting = true;
            EXPECT_NE(Slurp(f.File("line1.state")).find("take 105\n"), std::string::npos)
                << "the number is on disk before the board gets it";
            const RunResult second = f.Cli(with({"--repeat", "1"}), 30000);
            EXPECT_EQ(second.exitCode, 2) << Describe(second);
            EXPECT_NE(second.err.find("in use by another program"), std::string::npos) << Describe(second);
            EXPECT_EQ(second.out.find("board"), std::string::npos) << Describe(second);
            held.SignalGroup(SIGKILL);
        });
        ASSERT_TRUE(waiting) << Describe(killed);
    }

    f.Adapter("");
    r = f.Cli(with({"--repeat", "2"}));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), (std::vector<std::uint64_t>{106, 107})) << "105 may be on the killed board";
    EXPECT_NE(r.err.find("1 in flight"), std::string::npos) << Describe(r);
}

// MAC addresses from a list go into the boards in the order written; the
// state file marks them used, and a list that runs out ends the run with
// its own exit code, in this run and the next.
TEST(CliProgram, SerialListOfMacAddressesIsUsedOnceAndRunsOut) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(2048, 31));
    WriteText(f.File("macs.txt"), "# line 1\r\n00:1A:2B:3C:4D:5E\r\n00:1A:2B:3C:4D:5F\r\n\r\n00-1a-2b-3c-4d-60\r\n");
    const std::vector<std::string> args = {
        "program",  "--port",         "KV707",      "--part",         "T20G8",    "--flash",
        "fw.bin",   "--serial-addr",  "20",         "--serial-width", "6",        "--serial-list",
        "macs.txt", "--serial-state", "macs.state", "--json",         "--repeat", "2"};
    RunResult r = f.Cli(args);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    std::vector<Value> records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]["serial"].text, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(records[1]["serial"].text, "00:1A:2B:3C:4D:5F");

    r = f.Cli(args);
    EXPECT_EQ(r.exitCode, 7) << Describe(r);
    records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 2u) << Describe(r);
    EXPECT_EQ(records[0]["serial"].text, "00:1A:2B:3C:4D:60");
    EXPECT_EQ(records[1]["exit_code"].Unsigned(), 7u);
    EXPECT_NE(r.err.find("serial numbers used up: no value left in macs.txt"), std::string::npos) << Describe(r);

    r = f.Cli(args);
    EXPECT_EQ(r.exitCode, 7) << Describe(r);
    EXPECT_EQ(JsonLines(r.out).size(), 1u) << "no board started without a value\n" << Describe(r);

    // A list that cannot be used is refused before any board.
    WriteText(f.File("bad.txt"), "00:1A:2B:3C:4D:5E\n00:1a:2b:3c:4d:5e\n");
    std::vector<std::string> bad = args;
    bad[12] = "bad.txt";
    bad[14] = "bad.state";
    r = f.Cli(bad);
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("line 2 '00:1a:2b:3c:4d:5e': the same value as line 1"), std::string::npos) << Describe(r);
}

// Every board leaves one row in --units: where, who, which serial, the CRC-32
// of the image as programmed (with its serial) and the outcome; the CSV log
// carries the same fields, and a log that exists keeps its own columns.
TEST(CliProgram, UnitRecordsNameEachBoardsImageAndALogKeepsItsColumns) {
    Folder f;
    const Bytes fw = Random(2048, 41);
    WriteBytes(f.File("fw.bin"), fw);
    WriteText(f.File("old.csv"),
              "record,time,board,serial,code,outcome,seconds,passed,failed,stopped,boards_per_hour\r\n");
    const RunResult r =
        f.Cli({"program", "--port", "KV707", "--part", "T20G8", "--flash", "fw.bin", "--repeat", "2", "--serial-addr",
               "10", "--serial-start", "500", "--units", "units.csv", "--log", "old.csv", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<std::vector<std::string>> units = CsvRows(Slurp(f.File("units.csv")));
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0], (std::vector<std::string>{"time", "station", "operator", "project", "project_sha256", "port",
                                                  "serial", "image_crc32", "outcome", "seconds"}));
    const std::vector<Value> records = JsonLines(r.out);
    for (std::size_t i = 1; i < 3; ++i) {
        const std::vector<std::string>& row = units[i];
        ASSERT_EQ(row.size(), units[0].size());
        EXPECT_NE(row[0].find('T'), std::string::npos);
        EXPECT_TRUE(row[0].find('+', 19) != std::string::npos || row[0].find('-', 19) != std::string::npos)
            << "a UTC offset: " << row[0];
        EXPECT_FALSE(row[1].empty()) << "the station";
        EXPECT_EQ(row[5], "KV707");
        EXPECT_EQ(row[6], std::to_string(499 + i));
        Bytes programmed = fw;
        const std::uint32_t serial = static_cast<std::uint32_t>(499 + i);
        for (int k = 0; k < 4; ++k) programmed[0x10 + k] = static_cast<std::uint8_t>(serial >> (8 * k));
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X",
                      static_cast<unsigned>(image::Crc32(programmed.data(), programmed.size())));
        EXPECT_EQ(row[7], crc);
        EXPECT_EQ(row[8], "Pass");
        EXPECT_EQ(records[i - 1]["image_crc32"].text, crc);
        EXPECT_EQ(records[i - 1]["port"].text, "KV707");
    }
    const std::vector<std::vector<std::string>> log = CsvRows(Slurp(f.File("old.csv")));
    ASSERT_EQ(log.size(), 4u);
    for (const std::vector<std::string>& row : log) EXPECT_EQ(row.size(), 11u) << "the old file's columns";
}

TEST(CliProgram, LogThatCannotBeWrittenStopsBeforeAnyBoard) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(2048, 11));
    ::mkdir(f.File("logdir").c_str(), 0755);
    f.Adapter("never\n");  // a board that started would wait here until the deadline
    const RunResult r =
        f.Cli({"program", "--port", "KV707", "--part", "T20G8", "--flash", "fw.bin", "--log", "logdir"}, 30000);
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("cannot write the log"), std::string::npos) << Describe(r);
    EXPECT_EQ(r.out.find("board"), std::string::npos) << Describe(r);
}

// Starts the programmer, waits until its error output shows `marker`,
// presses Ctrl+C (SIGINT to its process group, as a terminal does), and
// returns how the run ended.
RunResult PressCtrlCWhen(const Folder& f, const std::vector<std::string>& args,
                         const std::function<bool(const std::string&)>& when) {
    clitest::Process p(f.Command(args), f.Path());
    bool pressed = false;
    RunResult r = p.Wait(90000, [&](const std::string& err) {
        if (!pressed && when(err)) {
            pressed = true;
            p.SignalGroup(SIGINT);
        }
    });
    EXPECT_TRUE(pressed) << "the moment to press Ctrl+C never came\n" << Describe(r);
    return r;
}

bool ProgressAtLeast(const std::string& err, int percent) {
    std::size_t at = 0;
    while ((at = err.find("progress ", at)) != std::string::npos) {
        at += 9;
        if (std::atoi(err.c_str() + at) >= percent) return true;
    }
    return false;
}

// Ctrl+C in the middle of a paced 16 KiB transfer at 9600 baud (about 17 s
// on the line): the board ends with the library's Stop, the summary follows,
// and the JSON and CSV records say so.
void ExpectCtrlCStopsMidTransfer(const Folder& f, const std::string& port) {
    const RunResult r = PressCtrlCWhen(f,
                                       {"program", "--port", port, "--part", "T30C64", "--flash", "fw.bin", "--baud",
                                        "9600", "--forever", "--json", "--progress", "--log", "run.csv"},
                                       [](const std::string& err) { return ProgressAtLeast(err, 10); });
    EXPECT_EQ(r.exitCode, 6) << Describe(r);
    EXPECT_FALSE(ProgressAtLeast(r.err, 100)) << "the transfer ran to its end\n" << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 2u) << Describe(r);
    EXPECT_EQ(records[0]["code"].Unsigned(), 103u);
    EXPECT_EQ(records[0]["outcome"].text, "Stop");
    EXPECT_EQ(records[1]["stopped"].Unsigned(), 1u);
    EXPECT_EQ(records[1]["failed"].Unsigned(), 0u);
    EXPECT_EQ(records[1]["exit_code"].Unsigned(), 6u);
    EXPECT_NE(r.err.find("asking the library to stop"), std::string::npos) << Describe(r);
    const std::vector<std::vector<std::string>> rows = CsvRows(Slurp(f.File("run.csv")));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][4], "103");
    EXPECT_EQ(rows[1][5], "Stop");
    EXPECT_EQ(rows[2][0], "summary");
}

TEST(CliProgram, CtrlCStopsTheTransferAndTheRunEndsWithStopAndASummary) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(16384, 12));
    WriteText(f.File("Tarvel_DLL.ini"), kFastLink + "[Adapter]\npace=1\nrepeat-delay-ms=50\n");
    ExpectCtrlCStopsMidTransfer(f, "KV707");
}

TEST(CliProgram, CtrlCWhileWaitingForATargetEndsAForeverRun) {
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(1024, 13));
    f.Adapter("never\n");
    const RunResult r = PressCtrlCWhen(
        f, {"program", "--port", "KV707", "--part", "T30C64", "--flash", "fw.bin", "--forever", "--progress"},
        [](const std::string& err) { return err.find("Please repower on DUT") != std::string::npos; });
    EXPECT_EQ(r.exitCode, 6) << Describe(r);
    EXPECT_NE(r.out.find("board 1  Stop"), std::string::npos) << Describe(r);
    EXPECT_NE(r.out.find("0 passed, 0 failed, stopped"), std::string::npos) << Describe(r);
}

TEST(CliDump, ReadsTheInformationBlock) {
    Folder f;
    RunResult r = f.Cli({"dump", "--port", "KV707", "--part", "HX2560", "--out", "info.bin"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const Bytes info = ReadBytes(f.File("info.bin"));
    ASSERT_EQ(info.size(), 256u);
    EXPECT_EQ(std::string(info.begin(), info.begin() + 4), "TVIB");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[tarvel::info::kName])), "HX2560");
    r = f.Cli({"dump", "--port", "KV707", "--part", "HX2560", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["bytes"].text.size(), 512u);
    EXPECT_EQ(records[0]["bytes"].text.substr(0, 8), "54564942");

    f.Adapter("fail=readinfo\n");
    r = f.Cli({"dump", "--port", "KV707", "--part", "HX2560", "--out", "fail.bin"});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.out.find("Fail"), std::string::npos) << Describe(r);
    EXPECT_FALSE(Exists(f.File("fail.bin")));
}

// ---------------------------------------------------------------- COM port to the simulator

// The simulator's scenario, through its control file; returns once it has
// re-seated a fresh target with it. Each call carries a new first serial so
// that the content always changes.
void SimScenario(const std::string& options, const std::string& dir = g_env.simDir) {
    static unsigned nonce = 1000;
    const std::string text = options + " --serial " + std::to_string(++nonce) + "\n";
    for (const char* name : {"flash.bin", "eeprom.bin", "info.bin", "runs.txt"}) ::unlink((dir + "/" + name).c_str());
    WriteText(dir + "/control.txt", text);
    ASSERT_TRUE(WaitUntil([&] { return Slurp(dir + "/control.txt.ack") == text; }, 10000))
        << "the simulator did not take the scenario";
}

#define REQUIRE_SIMULATOR() \
    if (g_env.com.empty()) GTEST_SKIP() << "no simulator (run through run-cli-e2e.sh)"

Bytes WithSerial(Bytes image, std::uint32_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + static_cast<std::uint32_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return image;
}

Bytes PadTo(Bytes b, std::size_t n) {
    b.resize(n, 0xFF);
    return b;
}

TEST(CliCom, RepeatRunLandsEachSerialOnItsBoardAndTheRestUnchanged) {
    REQUIRE_SIMULATOR();
    Folder f;
    const Bytes fw = Random(20000, 14), cal = Random(300, 15);
    WriteBytes(f.File("fw.bin"), fw);
    WriteBytes(f.File("cal.bin"), cal);
    // A long re-seat delay leaves time to read each board's memories before
    // the next board replaces them.
    SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 1500");
    const std::uint32_t capacity = 65536, serialAt = 0x100;

    clitest::Process p(
        f.Command({"program", "--port", g_env.com, "--part", "T30C64", "--flash", "fw.bin", "--eeprom", "cal.bin@10",
                   "--repeat", "3", "--serial-addr", "100", "--serial-start", "500", "--json", "--log", "run.csv"}),
        f.Path());
    std::vector<Bytes> flashes, eeproms;
    // Each board's memories: runs.txt changes last, after flash.bin and
    // eeprom.bin of the same board; info.bin names that board's Flash CRC.
    std::thread watcher([&] {
        for (int board = 1; board <= 3; ++board) {
            const std::string want = std::to_string(board) + "\n";
            if (!WaitUntil([&] { return Slurp(g_env.simDir + "/runs.txt") == want; }, 60000)) return;
            flashes.push_back(ReadBytes(g_env.simDir + "/flash.bin"));
            eeproms.push_back(ReadBytes(g_env.simDir + "/eeprom.bin"));
            const Bytes info = ReadBytes(g_env.simDir + "/info.bin");
            const std::uint32_t crc =
                info.size() == 256
                    ? static_cast<std::uint32_t>(info[28] | info[29] << 8 | info[30] << 16 | info[31] << 24)
                    : 0;
            if (tarvel::Crc32(flashes.back().data(), flashes.back().size()) != crc) flashes.back().clear();
        }
    });
    const RunResult r = p.Wait(120000);
    watcher.join();
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 4u);
    ASSERT_EQ(flashes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::uint32_t serial = static_cast<std::uint32_t>(500 + i);
        EXPECT_EQ(records[i]["serial"].Unsigned(), serial);
        EXPECT_TRUE(flashes[i] == PadTo(WithSerial(fw, serialAt, serial), capacity)) << "board " << i + 1;
        Bytes wantEeprom(2048, 0xFF);
        std::copy(cal.begin(), cal.end(), wantEeprom.begin() + 0x10);
        EXPECT_TRUE(eeproms[i] == wantEeprom) << "board " << i + 1;
    }
    // The simulator's run list agrees with the records.
    EXPECT_EQ(Slurp(g_env.simDir + "/runs.txt"), "3\n");
    EXPECT_EQ(records[3]["passed"].Unsigned(), 3u);
    const std::vector<std::vector<std::string>> rows = CsvRows(Slurp(f.File("run.csv")));
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(rows[i + 1][3], std::to_string(500 + i));
}

// A serial block at the top of Flash above a short application: the image
// grows with erased bytes up to the field, so the board holds the
// application, 0xFF, its serial, and nothing else.
TEST(CliCom, SerialFieldPastTheImageExtendsItWithErasedBytes) {
    REQUIRE_SIMULATOR();
    Folder f;
    const Bytes fw = Random(3000, 21);
    WriteBytes(f.File("fw.bin"), fw);
    SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 100");
    const RunResult r = f.Cli({"program", "--port", g_env.com, "--part", "T30C64", "--flash", "fw.bin", "--serial-addr",
                               "7FF0", "--serial-start", "0x1234"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.out.find("extended with 0xFF to 32756 bytes"), std::string::npos) << Describe(r);
    ASSERT_TRUE(WaitUntil([] { return Slurp(g_env.simDir + "/runs.txt") == "1\n"; }, 10000));
    Bytes want = PadTo(fw, 0x7FF4);
    want = WithSerial(want, 0x7FF0, 0x1234);
    EXPECT_TRUE(ReadBytes(g_env.simDir + "/flash.bin") == PadTo(want, 65536));
}

TEST(CliCom, CtrlCStopsTheTransferOverTheSerialLine) {
    REQUIRE_SIMULATOR();
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(16384, 19));
    SimScenario("--part T30C64 --pace 1 --repeat-delay-ms 100");
    ExpectCtrlCStopsMidTransfer(f, g_env.com);
    EXPECT_FALSE(Exists(g_env.simDir + "/runs.txt"));  // the simulator saw no completed board
}

TEST(CliCom, FailuresOverTheSerialLineGiveTheirTexts) {
    REQUIRE_SIMULATOR();
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(4096, 16));
    struct Case {
        const char* scenario;
        int code;
        const char* outcome;
    };
    // clang-format off
    const Case cases[] = {
        {"--fail erase", 110, "Erase error"},
        {"--fail program --fail-offset 1024", 112, "Program error"},
        {"--device-id 7", 106, "DeviceID error"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        SimScenario(std::string("--part T30C64 --pace 0 --repeat-delay-ms 100 ") + c.scenario);
        const RunResult r = f.Cli({"program", "--port", g_env.com, "--part", "T30C64", "--flash", "fw.bin", "--json"});
        EXPECT_EQ(r.exitCode, 1) << Describe(r);
        const std::vector<Value> records = JsonLines(r.out);
        ASSERT_EQ(records.size(), 2u) << Describe(r);
        EXPECT_EQ(records[0]["code"].Unsigned(), static_cast<std::uint64_t>(c.code));
        EXPECT_EQ(records[0]["outcome"].text, c.outcome);
        EXPECT_FALSE(Exists(g_env.simDir + "/runs.txt"));  // no board was completed
    }
}

TEST(CliCom, PortThatDoesNotExistOrCannotBeOpenedExits5) {
    REQUIRE_SIMULATOR();
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(1024, 17));
    RunResult r = f.Cli({"program", "--port", g_env.idleCom, "--part", "T30C64", "--flash", "fw.bin"});
    EXPECT_EQ(r.exitCode, 5) << Describe(r);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << Describe(r);
    // A device that opens but is no serial port: the library refuses the link.
    r = f.Cli({"program", "--port", g_env.nullCom, "--part", "T30C64", "--flash", "fw.bin", "--log", "run.csv"});
    EXPECT_EQ(r.exitCode, 5) << Describe(r);
    EXPECT_NE(r.err.find("could not open the link on " + g_env.nullCom), std::string::npos) << Describe(r);
    // The log was opened (it comes first) but holds no board.
    EXPECT_EQ(CsvRows(Slurp(f.File("run.csv"))).size(), 1u);
}

}  // namespace

// The adapter is pulled in the middle of a transfer (the socat of the port's
// pty pair ends): the board ends soon with a failure that names the port,
// and the run's exit code says a board failed. The pair is gone for good
// afterwards, so this test runs once, on a port of its own.
TEST(CliLostPort, PortClosedMidTransferEndsTheBoardNamingThePort) {
    if (g_env.lostCom.empty() || g_env.lostSocatPid <= 0) GTEST_SKIP() << "no port to lose (run-cli-e2e.sh)";
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(16384, 40));
    const std::string control = g_env.lostSimDir + "/control.txt", text = "--part T30C64 --pace 1\n";
    WriteText(control, text);
    ASSERT_TRUE(WaitUntil([&] { return Slurp(control + ".ack") == text; }, 10000));
    clitest::Process p(f.Command({"program", "--port", g_env.lostCom, "--part", "T30C64", "--flash", "fw.bin", "--baud",
                                  "9600", "--json", "--progress"}),
                       f.Path());
    using Clock = std::chrono::steady_clock;
    Clock::time_point pulled{};
    const RunResult r = p.Wait(90000, [&](const std::string& err) {
        if (pulled == Clock::time_point{} && ProgressAtLeast(err, 10)) {
            pulled = Clock::now();
            ::kill(g_env.lostSocatPid, SIGTERM);
        }
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - pulled).count();
    ASSERT_NE(pulled, Clock::time_point{}) << Describe(r);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_FALSE(ProgressAtLeast(r.err, 100)) << Describe(r);
    EXPECT_NE(r.err.find(g_env.lostCom + " was lost"), std::string::npos) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    ASSERT_EQ(records.size(), 2u) << Describe(r);
    EXPECT_FALSE(records[0]["passed"].boolean);
    // The programmer watches the port during the board and asks the library
    // to stop once it is gone, rather than letting it run out its deadlines.
    EXPECT_LT(seconds, 5.0) << Describe(r);
    std::printf("board ended %.2f s after the pull\n", seconds);
}

// ---------------------------------------------------------------- a gang of ports

namespace {

std::string GangDir(int com) { return g_env.gangDir + "/gang" + std::to_string(com); }

#define REQUIRE_GANG() \
    if (g_env.gangDir.empty()) GTEST_SKIP() << "no gang ports (run through run-cli-e2e.sh)"

std::vector<Value> Boards(const std::vector<Value>& records) {
    std::vector<Value> boards;
    for (const Value& v : records)
        if (v["record"].text == "board") boards.push_back(v);
    return boards;
}

std::map<std::string, Value> PortRecords(const std::vector<Value>& records) {
    std::map<std::string, Value> ports;
    for (const Value& v : records)
        if (v["record"].text == "port") ports[v["port"].text] = v;
    return ports;
}

std::vector<std::uint64_t> SortedPassedSerials(const std::vector<Value>& records) {
    std::vector<std::uint64_t> serials = Serials(records);
    std::sort(serials.begin(), serials.end());
    return serials;
}

std::vector<std::uint64_t> Range(std::uint64_t from, std::uint64_t count) {
    std::vector<std::uint64_t> v;
    for (std::uint64_t i = 0; i < count; ++i) v.push_back(from + i);
    return v;
}

// The highest percent a gang's progress lines show for a port.
int GangPercent(const std::string& err, const std::string& com) {
    const std::string mark = com + "  programming ";
    int best = -1;
    for (std::size_t at = err.find(mark); at != std::string::npos; at = err.find(mark, at + 1))
        best = std::max(best, std::atoi(err.c_str() + at + mark.size()));
    return best;
}

}  // namespace

// Nine boards over three ports: each passed board carries one of the nine
// numbers, none twice, each simulator's Flash holds the image of its own
// last board with that board's number, and the JSON and CSV records name the
// port of every board.
TEST(CliGang, NineBoardsOverThreePortsCarryTheNineSerialsOnce) {
    REQUIRE_GANG();
    Folder f;
    const Bytes fw = Random(6000, 50);
    WriteBytes(f.File("fw.bin"), fw);
    // A re-seat delay long enough that every worker has its port open before
    // the other two could program all nine boards.
    // A re-seat delay long enough that every port has a board.
    for (int n : {21, 22, 23}) SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 5000", GangDir(n));
    const RunResult r =
        f.Cli({"program", "--port", "COM21,COM22", "--port", "COM23", "--part", "T30C64", "--flash", "fw.bin",
               "--repeat", "9", "--serial-addr", "100", "--serial-start", "500", "--json", "--log", "run.csv"},
              120000);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    const std::vector<Value> boards = Boards(records);
    ASSERT_EQ(boards.size(), 9u) << Describe(r);
    EXPECT_EQ(SortedPassedSerials(records), Range(500, 9));
    std::map<std::string, std::vector<std::uint64_t>> byPort;
    for (const Value& b : boards) byPort[b["port"].text].push_back(b["serial"].Unsigned());
    for (int n : {21, 22, 23}) {
        SCOPED_TRACE(n);
        const std::vector<std::uint64_t>& mine = byPort["COM" + std::to_string(n)];
        ASSERT_FALSE(mine.empty()) << Describe(r);
        const std::string runs = std::to_string(mine.size()) + "\n";
        EXPECT_TRUE(WaitUntil([&] { return Slurp(GangDir(n) + "/runs.txt") == runs; }, 10000));
        const Bytes want = PadTo(WithSerial(fw, 0x100, static_cast<std::uint32_t>(mine.back())), 65536);
        EXPECT_TRUE(ReadBytes(GangDir(n) + "/flash.bin") == want);
        EXPECT_EQ(PortRecords(records)["COM" + std::to_string(n)]["passed"].Unsigned(), mine.size());
    }
    EXPECT_EQ(records.back()["passed"].Unsigned(), 9u);
    EXPECT_EQ(records.back()["exit_code"].Unsigned(), 0u);
    const std::vector<std::vector<std::string>> rows = CsvRows(Slurp(f.File("run.csv")));
    ASSERT_EQ(rows.size(), 11u);  // header, nine boards, summary
    EXPECT_EQ(rows[0].back(), "port");
    for (std::size_t i = 0; i < 9; ++i) {
        ASSERT_EQ(rows[i + 1].size(), rows[0].size());
        EXPECT_EQ(rows[i + 1][3], boards[i]["serial"].text);
        EXPECT_EQ(rows[i + 1].back(), boards[i]["port"].text);
    }
}

// Serial numbers and a CRC-32 over a range that covers the serial field, on
// three ports: each simulator's Flash holds its own board's serial and a CRC
// of its own bytes, and each board's record names the CRC-32 of that image.
// (Erased bytes lie between the range and the value: the CRC-32 of a range
// followed at once by its own CRC-32 is the same for every range.)
TEST(CliGang, EachBoardsChecksumCoversItsOwnSerialNumber) {
    REQUIRE_GANG();
    Folder f;
    const Bytes fw = Random(6000, 51);
    WriteBytes(f.File("fw.bin"), fw);
    for (int n : {21, 22, 23}) SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 1500", GangDir(n));
    const RunResult r =
        f.Cli({"program", "--port", "COM21,COM22,COM23", "--part", "T30C64", "--flash", "fw.bin", "--repeat", "3",
               "--serial-addr", "100", "--serial-start", "700", "--checksum", "crc32:0-7FEF@7FFC", "--json"},
              120000);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> boards = Boards(JsonLines(r.out));
    ASSERT_EQ(boards.size(), 3u) << Describe(r);
    // Which port takes which board is the run's choice; every board's record,
    // and the Flash of every port with a board, is checked.
    std::map<std::string, Bytes> lastImage;
    std::map<std::string, int> count;
    for (const Value& b : boards) {
        SCOPED_TRACE(b["serial"].text);
        // The board's image: its serial, erased bytes up to the CRC, the CRC.
        Bytes want = PadTo(WithSerial(fw, 0x100, static_cast<std::uint32_t>(b["serial"].Unsigned())), 0x7FFC);
        const std::uint32_t crc = image::Crc32(want.data(), 0x7FF0);
        for (int i = 0; i < 4; ++i) want.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
        EXPECT_EQ(b["image_crc32"].text, Hex8(image::Crc32(want.data(), want.size())));
        ASSERT_EQ(b["checksums"].items.size(), 1u) << Describe(r);
        EXPECT_EQ(b["checksums"].items[0].text, "crc32@0x7FFC=" + Hex8(crc));
        lastImage[b["port"].text] = want;
        ++count[b["port"].text];
    }
    EXPECT_GE(lastImage.size(), 2u) << Describe(r);
    for (const auto& [port, want] : lastImage) {
        SCOPED_TRACE(port);
        const std::string dir = GangDir(std::atoi(port.c_str() + 3));
        const std::string runs = std::to_string(count[port]) + "\n";
        EXPECT_TRUE(WaitUntil([&] { return Slurp(dir + "/runs.txt") == runs; }, 10000));
        EXPECT_TRUE(ReadBytes(dir + "/flash.bin") == PadTo(want, 65536));
    }
}

// A target that fails on one port ends that port only: the other two
// program the remaining boards, and the failed board's number goes to the
// next board. With --stop-on-fail no board starts after the failure.
TEST(CliGang, FailingTargetOnOnePortLeavesTheOthersGoingUnlessStopOnFail) {
    REQUIRE_GANG();
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(3000, 51));
    for (int n : {21, 23}) SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 300", GangDir(n));
    SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 300 --fail erase", GangDir(22));
    const std::vector<std::string> args = {"program", "--port", "COM21,COM22,COM23", "--part", "T30C64",
                                           "--flash", "fw.bin", "--serial-addr",     "100",    "--json"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> a = args;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    RunResult r = f.Cli(with({"--repeat", "6"}), 120000);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    std::vector<Value> records = JsonLines(r.out);
    std::vector<Value> failed;
    for (const Value& b : Boards(records))
        if (!b["passed"].boolean) failed.push_back(b);
    ASSERT_EQ(failed.size(), 1u) << Describe(r);
    EXPECT_EQ(failed[0]["port"].text, "COM22");
    EXPECT_EQ(failed[0]["outcome"].text, "Erase error");
    EXPECT_EQ(SortedPassedSerials(records), Range(1, 5));
    std::map<std::string, Value> ports = PortRecords(records);
    EXPECT_EQ(ports["COM22"]["state"].text, "failed");
    EXPECT_EQ(ports["COM21"]["passed"].Unsigned() + ports["COM23"]["passed"].Unsigned(), 5u);
    EXPECT_EQ(records.back()["failed"].Unsigned(), 1u);

    r = f.Cli(with({"--repeat", "30", "--stop-on-fail"}), 120000);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.err.find("--stop-on-fail ends the run on every port"), std::string::npos) << Describe(r);
    records = JsonLines(r.out);
    const std::vector<Value> boards = Boards(records);
    std::size_t at = 0;
    while (at < boards.size() && boards[at]["passed"].boolean) ++at;
    ASSERT_LT(at, boards.size()) << Describe(r);
    EXPECT_EQ(boards[at]["port"].text, "COM22");
    // Only the boards already running on the other two ports end after it.
    EXPECT_LE(boards.size() - at - 1, 2u) << Describe(r);
    EXPECT_LT(records.back()["boards"].Unsigned(), 30u);
}

// COM24's adapter is pulled in the middle of its first board: that board
// fails within 5 s naming the port, the other two ports program the rest,
// and the exit code says a board failed. The pair is gone for good after.
TEST(CliGang, PortPulledMidTransferFailsItsBoardAndTheOthersGoOn) {
    REQUIRE_GANG();
    if (g_env.gangLostSocatPid <= 0) GTEST_SKIP() << "no gang port to lose (run-cli-e2e.sh)";
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(4096, 52));
    for (int n : {21, 22, 24}) SimScenario("--part T30C64 --pace 1 --repeat-delay-ms 100", GangDir(n));
    clitest::Process p(f.Command({"program", "--port", "COM21,COM22,COM24", "--part", "T30C64", "--flash", "fw.bin",
                                  "--baud", "9600", "--repeat", "5", "--json", "--progress"}),
                       f.Path());
    using Clock = std::chrono::steady_clock;
    Clock::time_point pulled{}, failed{};
    const RunResult r = p.Wait(180000, [&](const std::string& err) {
        if (pulled == Clock::time_point{} && GangPercent(err, "COM24") >= 10) {
            pulled = Clock::now();
            ::kill(g_env.gangLostSocatPid, SIGTERM);
        }
        if (pulled != Clock::time_point{} && failed == Clock::time_point{} &&
            err.find("COM24 was lost") != std::string::npos)
            failed = Clock::now();
    });
    ASSERT_NE(pulled, Clock::time_point{}) << Describe(r);
    ASSERT_NE(failed, Clock::time_point{}) << Describe(r);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_LT(GangPercent(r.err, "COM24"), 100) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    std::size_t passed = 0;
    for (const Value& b : Boards(records)) {
        if (b["port"].text == "COM24") {
            EXPECT_FALSE(b["passed"].boolean);
        }
        passed += b["passed"].boolean ? 1 : 0;
    }
    // Boards 4 and 5 start only after the pull, on the ports that are left.
    EXPECT_EQ(passed, 4u) << Describe(r);
    EXPECT_EQ(PortRecords(records)["COM24"]["state"].text, "lost");
    const double seconds = std::chrono::duration<double>(failed - pulled).count();
    EXPECT_LT(seconds, 5.0) << Describe(r);
    std::printf("gang: COM24's board ended %.2f s after the pull\n", seconds);
}

// Ctrl+C while every port waits for its target: each running board ends
// "Stop", the summary follows, and the run exits 6.
TEST(CliGang, CtrlCStopsEveryPortAndTheSummaryFollows) {
    REQUIRE_GANG();
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(1024, 54));
    for (int n : {21, 22}) SimScenario("--part T30C64 --never", GangDir(n));
    const RunResult r = PressCtrlCWhen(f,
                                       {"program", "--port", "COM21,COM22", "--part", "T30C64", "--flash", "fw.bin",
                                        "--forever", "--json", "--progress"},
                                       [](const std::string& err) {
                                           return err.find("COM21  waiting for a board") != std::string::npos &&
                                                  err.find("COM22  waiting for a board") != std::string::npos;
                                       });
    EXPECT_EQ(r.exitCode, 6) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    const std::vector<Value> boards = Boards(records);
    ASSERT_EQ(boards.size(), 2u) << Describe(r);
    for (const Value& b : boards) EXPECT_EQ(b["outcome"].text, "Stop");
    EXPECT_EQ(records.back()["record"].text, "summary");
    EXPECT_EQ(records.back()["stopped"].Unsigned(), 1u);
    EXPECT_EQ(records.back()["exit_code"].Unsigned(), 6u);
    EXPECT_NE(r.err.find("asking every port to stop"), std::string::npos) << Describe(r);
    EXPECT_EQ(r.err.find("asking the library to stop"), std::string::npos) << "one notice for the gang\n"
                                                                           << Describe(r);
}

// A program that drives the run (the window's production view) follows each
// port's state in port_state records, resets the counters into the unit
// records and stops the run through the standard input.
TEST(CliGang, ADrivingProgramFollowsThePortsAndStopsTheRun) {
    REQUIRE_GANG();
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(1024, 55));
    for (int n : {21, 22}) SimScenario("--part T30C64", GangDir(n));
    clitest::Process p(
        f.Command({"program", "--port", "COM21,COM22", "--part", "T30C64", "--flash", "fw.bin", "--forever", "--json",
                   "--events", "--control", "--units", "units.csv", "--serial-addr", "100", "--no-progress"}),
        f.Path(), true);
    bool reset = false, stopped = false;
    const RunResult r = p.Wait(90000, nullptr, [&](const std::string& out) {
        // Two passed boards a port, then the counters are reset, then two more.
        const auto passedOn = [&](const std::string& port, int times) {
            const std::string mark = "\"port\":\"" + port + "\",\"state\":\"passed\"";
            int n = 0;
            for (std::size_t at = out.find(mark); at != std::string::npos; at = out.find(mark, at + 1)) ++n;
            return n >= times;
        };
        if (!reset && passedOn("COM21", 2) && passedOn("COM22", 2)) {
            reset = true;
            p.Input("reset-counters\n");
        } else if (reset && !stopped && passedOn("COM21", 4) && passedOn("COM22", 4)) {
            stopped = true;
            p.Input("stop\n");
        }
    });
    ASSERT_TRUE(stopped) << Describe(r);
    EXPECT_EQ(r.exitCode, 6) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    std::map<std::string, std::vector<std::string>> states;
    for (const Value& v : records)
        if (v["record"].text == "port_state") states[v["port"].text].push_back(v["state"].text);
    for (const char* port : {"COM21", "COM22"}) {
        SCOPED_TRACE(port);
        const std::vector<std::string>& s = states[port];
        ASSERT_GE(s.size(), 4u);
        // The first look may come after the port has opened.
        EXPECT_TRUE(s[0] == "opening" || s[0] == "ready") << s[0];
        // A board may program between two looks, so "programming" is not
        // always told; its result and the stop always are.
        EXPECT_NE(std::find(s.begin(), s.end(), "passed"), s.end()) << Describe(r);
        EXPECT_EQ(s.back(), "stopped") << Describe(r);
    }
    EXPECT_EQ(records.back()["record"].text, "summary");
    EXPECT_EQ(records.back()["stopped"].Unsigned(), 1u);
    // The unit records: every board, and the reset between them.
    const std::vector<std::vector<std::string>> units = CsvRows(Slurp(f.File("units.csv")));
    std::size_t boards = 0, resets = 0;
    for (std::size_t i = 1; i < units.size(); ++i) {
        if (units[i][8] == "Counters reset") ++resets;
        else ++boards;
    }
    EXPECT_EQ(resets, 1u);
    EXPECT_EQ(boards, Boards(records).size());
}

// A port of the gang that does not exist is named, the others program the
// boards, and the exit code is the one of a port that cannot be opened.
TEST(CliGang, PortThatDoesNotExistIsNamedAndTheOthersProgram) {
    REQUIRE_GANG();
    if (g_env.idleCom.empty()) GTEST_SKIP() << "no idle COM name (run-cli-e2e.sh)";
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(1024, 55));
    SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 100", GangDir(21));
    const RunResult r = f.Cli({"program", "--port", "COM21", "--port", g_env.idleCom, "--part", "T30C64", "--flash",
                               "fw.bin", "--repeat", "2", "--json"});
    EXPECT_EQ(r.exitCode, 5) << Describe(r);
    EXPECT_NE(r.err.find(g_env.idleCom + " does not exist"), std::string::npos) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    EXPECT_EQ(records.back()["passed"].Unsigned(), 2u) << Describe(r);
    EXPECT_EQ(PortRecords(records)[g_env.idleCom]["state"].text, "lost");
}

// A parent killed while its boards wait for targets leaves no worker holding
// a port: its workers end with it (their job object closes, and their input
// pipe breaks), and a single programmer opens the port at once.
TEST(CliGang, KilledParentLeavesNoWorkerHoldingAPort) {
    REQUIRE_GANG();
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(1024, 53));
    for (int n : {21, 22}) SimScenario("--part T30C64 --never", GangDir(n));
    {
        clitest::Process p(f.Command({"program", "--port", "COM21,COM22", "--part", "T30C64", "--flash", "fw.bin",
                                      "--forever", "--progress"}),
                           f.Path());
        bool killed = false;
        const RunResult r = p.Wait(60000, [&](const std::string& err) {
            if (killed || err.find("COM21  waiting for a board") == std::string::npos ||
                err.find("COM22  waiting for a board") == std::string::npos)
                return;
            killed = true;
            p.Signal(SIGKILL);
        });
        ASSERT_TRUE(killed) << Describe(r);
    }
    SimScenario("--part T30C64 --pace 0", GangDir(22));
    RunResult single;
    EXPECT_TRUE(WaitUntil(
        [&] {
            single = f.Cli({"program", "--port", "COM22", "--part", "T30C64", "--flash", "fw.bin"});
            return single.exitCode != 5;
        },
        15000));
    EXPECT_EQ(single.exitCode, 0) << Describe(single);
}

// ---------------------------------------------------------------- projects

namespace {

// The records of a run without what differs between any two runs: the
// times, and how long each board took.
std::vector<std::map<std::string, std::string>> Comparable(const std::vector<Value>& records) {
    std::vector<std::map<std::string, std::string>> out;
    for (const Value& r : records) {
        std::map<std::string, std::string> fields;
        for (const auto& [key, value] : r.fields) {
            // A project run's records name the project besides.
            if (key == "time" || key.find("seconds") != std::string::npos || key == "boards_per_hour" ||
                key == "project" || key == "project_sha256")
                continue;
            fields[key] = value.kind == Value::Kind::Bool ? (value.boolean ? "true" : "false") : value.text;
        }
        out.push_back(fields);
    }
    return out;
}

// Replaces the first `from` in a project file's text with `to`.
void EditProject(const std::string& path, const std::string& from, const std::string& to) {
    std::string text = Slurp(path);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in\n" << text;
    text.replace(at, from.size(), to);
    WriteText(path, text);
}

// A production set-up in the folder "line" beside the programmer: a Flash
// file, an EEPROM file, serial numbers with their state file, and a log.
const std::vector<std::string> kSetUp = {"--part",
                                         "T30C64",
                                         "--flash",
                                         "line/fw.bin",
                                         "--eeprom",
                                         "line/cal.bin@10",
                                         "--baud",
                                         "9600",
                                         "--erase-by-size",
                                         "--serial-addr",
                                         "1FF0",
                                         "--serial-start",
                                         "0xFFFE",
                                         "--serial-step",
                                         "3",
                                         "--serial-width",
                                         "3",
                                         "--serial-endian",
                                         "big"};

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void MakeLine(const Folder& f) {
    ::mkdir(f.File("line").c_str(), 0755);
    WriteBytes(f.File("line/fw.bin"), Random(8192, 60));
    WriteBytes(f.File("line/cal.bin"), Random(300, 61));
}

}  // namespace

// A project saved from program's options runs as the same options do: the
// same serial numbers on the boards, the same records, and its state file
// and log where the project keeps them.
TEST(CliProject, NewThenProgramRunsTheSetUpAsAPlainProgramRunDoes) {
    Folder f;
    MakeLine(f);
    RunResult r = f.Cli(Joined({"project", "new", "--out", "line/line1.tarvel", "--serial-state", "line/line1.state",
                                "--log", "line/run.csv", "--note", "rev B"},
                               kSetUp));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.out.find("Project line1 -> "), std::string::npos) << Describe(r);

    r = f.Cli({"program", "--project", "line/line1.tarvel", "--port", "KV707", "--repeat", "3", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> fromProject = JsonLines(r.out);
    EXPECT_EQ(Serials(fromProject), (std::vector<std::uint64_t>{0xFFFE, 0x10001, 0x10004}));
    const RunResult plain = f.Cli(Joined({"program", "--port", "KV707", "--repeat", "3", "--json"}, kSetUp));
    ASSERT_EQ(plain.exitCode, 0) << Describe(plain);
    EXPECT_EQ(Comparable(fromProject), Comparable(JsonLines(plain.out)));
    // Each board's record names the project and the file it ran.
    FILE* sum = ::popen(("sha256sum '" + f.File("line/line1.tarvel") + "'").c_str(), "r");
    char digest[65] = {};
    ASSERT_EQ(std::fread(digest, 1, 64, sum), 64u);
    ::pclose(sum);
    EXPECT_EQ(fromProject[0]["project"].text, "line1");
    EXPECT_EQ(fromProject[0]["project_sha256"].text, digest);
    // The state file and the log are the project's, in its folder.
    EXPECT_NE(Slurp(f.File("line/line1.state")).find("pass 65540\n"), std::string::npos);
    const std::vector<std::vector<std::string>> rows = CsvRows(Slurp(f.File("line/run.csv")));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[3][3], "65540");
    // The next run continues from the state file.
    r = f.Cli({"program", "--project", "line/line1.tarvel", "--port", "KV707", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), std::vector<std::uint64_t>{0x10007});
}

TEST(CliProject, ShowPrintsTheProjectAndChecksItsFiles) {
    Folder f;
    MakeLine(f);
    WriteText(f.File("pw.txt"), "open sesame\r\nsecond line\r\n");
    ASSERT_EQ(f.Cli(Joined({"project", "new", "--out", "line/line1.tarvel", "--name", "Line 1", "--port", "com3,COM4",
                            "--lock-password-file", "pw.txt"},
                           kSetUp))
                  .exitCode,
              0);
    RunResult r = f.Cli({"project", "show", "line/line1.tarvel", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::string json = r.out;
    const std::vector<Value> records = JsonLines(json);
    ASSERT_EQ(records.size(), 1u);
    const Value& p = records[0];
    EXPECT_EQ(p["name"].text, "Line 1");
    EXPECT_EQ(p["part"].text, "T30C64");
    EXPECT_EQ(p["baud"].text, "9600");
    EXPECT_EQ(p["checkrate"].text, "9600");
    EXPECT_TRUE(p["erase_by_file_size"].boolean);
    ASSERT_EQ(p["flash"].items.size(), 1u);
    const Bytes fw = ReadBytes(f.File("line/fw.bin")), cal = ReadBytes(f.File("line/cal.bin"));
    EXPECT_EQ(p["flash"].items[0]["file"].text, "fw.bin");
    EXPECT_EQ(p["flash"].items[0]["size"].Unsigned(), fw.size());
    EXPECT_EQ(p["flash"].items[0]["crc32"].text, Hex8(tarvel::Crc32(fw.data(), fw.size())));
    EXPECT_EQ(p["eeprom"].items[0]["address"].text, "0x10");
    EXPECT_EQ(p["eeprom"].items[0]["crc32"].text, Hex8(tarvel::Crc32(cal.data(), cal.size())));
    Bytes eeprom(0x10, 0xFF);
    eeprom.insert(eeprom.end(), cal.begin(), cal.end());
    EXPECT_EQ(p["images"]["flash"]["crc32"].text, Hex8(tarvel::Crc32(fw.data(), fw.size())));
    EXPECT_EQ(p["images"]["eeprom"]["size"].Unsigned(), eeprom.size());
    EXPECT_EQ(p["images"]["eeprom"]["crc32"].text, Hex8(tarvel::Crc32(eeprom.data(), eeprom.size())));
    EXPECT_EQ(p["serial"]["address"].text, "0x1FF0");
    EXPECT_EQ(p["serial"]["byte_order"].text, "big");
    EXPECT_EQ(p["ports"].items.size(), 2u);
    EXPECT_EQ(p["ports"].items[0].text, "COM3");
    EXPECT_TRUE(p["locked"].boolean);
    EXPECT_TRUE(p["files_ok"].boolean);
    // Locked or not is shown; the lock's salt and hash never are.
    EXPECT_NE(Slurp(f.File("line/line1.tarvel")).find("\"hash\""), std::string::npos);
    r = f.Cli({"project", "show", "line/line1.tarvel"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.out.find("Lock      locked"), std::string::npos) << Describe(r);
    EXPECT_NE(r.out.find("Files     as saved"), std::string::npos) << Describe(r);
    for (const std::string& out : {r.out, json}) {
        EXPECT_EQ(out.find("salt"), std::string::npos) << out;
        EXPECT_EQ(out.find("hash"), std::string::npos) << out;
    }

    // A file changed after saving: the same lines, then exit 3 naming it.
    Bytes changed = cal;
    changed[7] ^= 0x01;
    WriteBytes(f.File("line/cal.bin"), changed);
    r = f.Cli({"project", "show", "line/line1.tarvel", "--json"});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    ASSERT_EQ(JsonLines(r.out).size(), 1u);
    EXPECT_FALSE(JsonLines(r.out)[0]["files_ok"].boolean);
    EXPECT_NE(r.err.find("line1.tarvel: cal.bin has changed since the project was saved"), std::string::npos)
        << Describe(r);
}

// A firmware file that changed since the project was saved (the same size,
// other bytes) or went missing stops image and program before anything is
// built, written or programmed, naming the file.
TEST(CliProject, ChangedOrMissingFileIsRefusedBeforeAnyBoard) {
    Folder f;
    MakeLine(f);
    f.Adapter("never\n");  // a board that started would wait here until the deadline
    ASSERT_EQ(f.Cli(Joined({"project", "new", "--out", "line/line1.tarvel"}, kSetUp)).exitCode, 0);
    const Bytes fw = ReadBytes(f.File("line/fw.bin"));
    Bytes changed = fw;
    changed[4000] ^= 0x80;
    struct Case {
        const char* name;
        std::function<void()> spoil;
        const char* message;
    };
    const Case cases[] = {
        {"changed", [&] { WriteBytes(f.File("line/fw.bin"), changed); },
         "fw.bin has changed since the project was saved"},
        {"missing", [&] { ::unlink(f.File("line/fw.bin").c_str()); }, "fw.bin is missing ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.spoil();
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"program", "--project", "line/line1.tarvel", "--port", "KV707", "--json"},
              std::vector<std::string>{"image", "--project", "line/line1.tarvel", "--out", "out.bin"}}) {
            const RunResult r = f.Cli(args, 30000);
            EXPECT_EQ(r.exitCode, 3) << Describe(r);
            EXPECT_NE(r.err.find("line1.tarvel: " + std::string(c.message)), std::string::npos) << Describe(r);
            EXPECT_TRUE(r.out.empty()) << Describe(r);
        }
        EXPECT_FALSE(Exists(f.File("out.bin")));
        EXPECT_FALSE(Exists(f.File("line/line1.state")));
        WriteBytes(f.File("line/fw.bin"), fw);
    }
}

// A locked project refuses every option that would change its set-up, and
// takes the ones that say where, how often and with which records it runs.
TEST(CliProject, LockedProjectRefusesSetUpOptionsAndTakesPortRepeatAndLog) {
    Folder f;
    MakeLine(f);
    WriteText(f.File("pw.txt"), "line one\n");
    ASSERT_EQ(f.Cli(Joined({"project", "new", "--out", "line/line1.tarvel", "--lock-password-file", "pw.txt"}, kSetUp))
                  .exitCode,
              0);
    struct Case {
        std::vector<std::string> extra;
        const char* message;
    };
    // clang-format off
    const Case cases[] = {
        {{"--part", "T30C64"}, "--part: the project is locked"},
        {{"--baud", "4800"}, "--baud: the project is locked"},
        {{"--option-bits", "1"}, "--option-bits: the project is locked"},
        {{"--rstn-cold-reset"}, "--rstn-cold-reset: the project is locked"},
        {{"--serial-start", "5"}, "--serial-start: the project is locked"},
        {{"--serial-state", "mine.state"}, "--serial-state: the project is locked"},
        {{"--flash", "line/fw.bin"}, "--flash: with --project the files are the project's"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extra[0]);
        const RunResult r =
            f.Cli(Joined({"program", "--project", "line/line1.tarvel", "--port", "KV707", "--json"}, c.extra));
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << Describe(r);
        EXPECT_TRUE(r.out.empty()) << Describe(r);
    }
    const RunResult r = f.Cli({"program", "--project", "line/line1.tarvel", "--port", "KV707", "--repeat", "2", "--log",
                               "mine.csv", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), (std::vector<std::uint64_t>{0xFFFE, 0x10001}));
    EXPECT_EQ(CsvRows(Slurp(f.File("mine.csv"))).size(), 4u);

    // The password comes from a file that exists and holds one.
    WriteText(f.File("empty.txt"), "\r\nsecond\r\n");
    for (const char* file : {"empty.txt", "none.txt"}) {
        const RunResult bad =
            f.Cli(Joined({"project", "new", "--out", "line/other.tarvel", "--lock-password-file", file}, kSetUp));
        EXPECT_EQ(bad.exitCode, 3) << Describe(bad);
        EXPECT_NE(bad.err.find("--lock-password-file"), std::string::npos) << Describe(bad);
        EXPECT_FALSE(Exists(f.File("line/other.tarvel")));
    }
}

// Files the tool writes stay in the project's folder: project new refuses a
// state file or log outside it, and a project that names one anyway (edited
// by hand) is refused when it runs, naming the field. So is a part the
// library does not know.
TEST(CliProject, FilesTheToolWritesStayInTheProjectsFolder) {
    Folder f;
    MakeLine(f);
    f.Adapter("never\n");
    for (const auto& [option, file] : {std::pair{"--serial-state", "outside.state"}, std::pair{"--log", "run.csv"}}) {
        const RunResult r = f.Cli(Joined({"project", "new", "--out", "line/line1.tarvel", option, file}, kSetUp));
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_NE(r.err.find(std::string(option) + ": " + file + " cannot go into the project"), std::string::npos)
            << Describe(r);
        EXPECT_FALSE(Exists(f.File("line/line1.tarvel")));
    }
    ASSERT_EQ(
        f.Cli(Joined({"project", "new", "--out", "line/line1.tarvel", "--serial-state", "line/line1.state"}, kSetUp))
            .exitCode,
        0);
    const std::string project = f.File("line/line1.tarvel");
    const std::string saved = Slurp(project);
    EditProject(project, "\"line1.state\"", "\"../outside.state\"");
    RunResult r = f.Cli({"program", "--project", "line/line1.tarvel", "--port", "KV707"}, 30000);
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("serial.state: a file the tool writes must lie in the project's folder"), std::string::npos)
        << Describe(r);
    EXPECT_TRUE(r.out.empty()) << Describe(r);
    EXPECT_FALSE(Exists(f.File("outside.state")));

    WriteText(project, saved);
    EditProject(project, "\"T30C64\"", "\"T99Z1\"");
    r = f.Cli({"program", "--project", "line/line1.tarvel", "--port", "KV707"}, 30000);
    EXPECT_EQ(r.exitCode, 2) << Describe(r);
    EXPECT_NE(r.err.find("unknown part 'T99Z1'"), std::string::npos) << Describe(r);
}

// image --project writes what image writes with the same options; a project
// whose saved image is not the one its files build is refused.
TEST(CliProject, ImageFromAProjectIsTheImageOfTheSameOptions) {
    Folder f;
    ::mkdir(f.File("fw").c_str(), 0755);
    const Bytes low = Random(3000, 62), app = Random(5000, 63), cal = Random(200, 64);
    WriteBytes(f.File("fw/low.bin"), low);
    WriteBytes(f.File("fw/app.bin"), app);
    WriteBytes(f.File("fw/cal.dat"), cal);
    ASSERT_EQ(Shell("cd '" + f.Path() + "/fw' && objcopy -I binary -O ihex --change-addresses 0x100 low.bin low.hex"),
              0);
    const std::vector<std::string> files = {"--flash", "fw/low.hex",      "--flash",  "fw/app.bin@2000", "--clear",
                                            "--flash", "fw/app.bin@6000", "--eeprom", "fw/cal.dat@20"};
    // The project lies above its files: they are kept as fw/...
    ASSERT_EQ(f.Cli(Joined({"project", "new", "--out", "line1.tarvel", "--part", "T40F512"}, files)).exitCode, 0);
    EXPECT_NE(Slurp(f.File("line1.tarvel")).find("\"file\": \"fw/app.bin\""), std::string::npos);
    RunResult r = f.Cli({"image", "--project", "line1.tarvel", "--out", "p.hex", "--eeprom-out", "p.bin", "--json"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const RunResult plain =
        f.Cli(Joined({"image", "--part", "T40F512", "--out", "i.hex", "--eeprom-out", "i.bin", "--json"}, files));
    ASSERT_EQ(plain.exitCode, 0) << Describe(plain);
    EXPECT_TRUE(ReadBytes(f.File("p.hex")) == ReadBytes(f.File("i.hex")));
    EXPECT_TRUE(ReadBytes(f.File("p.bin")) == ReadBytes(f.File("i.bin")));
    const std::vector<Value> a = JsonLines(r.out), b = JsonLines(plain.out);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(a[i]["crc32"].text, b[i]["crc32"].text);

    EditProject(f.File("line1.tarvel"), "\"crc32\": \"" + a[0]["crc32"].text + "\"", "\"crc32\": \"00000000\"");
    ::unlink(f.File("p.hex").c_str());
    r = f.Cli({"image", "--project", "line1.tarvel", "--out", "p.hex"});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("the Flash image built from the project's files"), std::string::npos) << Describe(r);
    EXPECT_FALSE(Exists(f.File("p.hex")));
}

// A project's ports make a gang when it runs without --port.
TEST(CliProject, ProjectPortsRunAsAGang) {
    REQUIRE_GANG();
    Folder f;
    MakeLine(f);
    for (int n : {21, 22}) SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 300", GangDir(n));
    ASSERT_EQ(f.Cli(Joined({"project", "new", "--out", "line/line1.tarvel", "--port", "COM21,COM22"}, kSetUp)).exitCode,
              0);
    const RunResult r = f.Cli({"program", "--project", "line/line1.tarvel", "--repeat", "4", "--json"}, 120000);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<Value> records = JsonLines(r.out);
    EXPECT_EQ(PortRecords(records).size(), 2u) << Describe(r);
    EXPECT_EQ(SortedPassedSerials(records), (std::vector<std::uint64_t>{0xFFFE, 0x10001, 0x10004, 0x10007}));
}

// ---------------------------------------------------------------- the shared database

namespace {

#define REQUIRE_DB()                              \
    if (std::getenv("TARVEL_TEST_DB") == nullptr) \
    GTEST_SKIP() << "TARVEL_TEST_DB is not set: no test database (scripts/test-db.sh starts one)"

std::string TestDb() { return std::getenv("TARVEL_TEST_DB"); }

std::string FreshSeries(const std::string& base) {
    static int counter = 0;
    return base + "-" + std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr)) + "-" +
           std::to_string(++counter);
}

std::vector<db::Row> Query(const std::string& sql, const std::vector<db::Param>& params) {
    db::Connection c;
    db::Error e;
    std::vector<db::Row> rows;
    EXPECT_TRUE(c.Open(TestDb(), &e) && c.Execute(sql, params, &rows, &e)) << e.Text();
    c.Rollback();
    return rows;
}

// value -> state of every value of the series.
std::map<std::string, std::string> SeriesStates(const std::string& series) {
    std::map<std::string, std::string> states;
    for (const db::Row& r : Query("SELECT value, state FROM serial_numbers WHERE series = ?", {db::Param::Str(series)}))
        states[r[0].text] = r[1].text;
    return states;
}

// The serials of the unit records a station's outbox sent, in the order of
// their ids, each as often as the database holds it.
std::vector<std::string> UnitsOf(const std::string& outbox) {
    const std::string text = Slurp(outbox);
    const std::string mark = "key=";
    const std::size_t at = text.find(mark);
    if (at == std::string::npos) return {};
    const std::string key = text.substr(at + mark.size(), text.find_first_of("\r\n", at) - at - mark.size());
    std::vector<std::string> serials;
    for (const db::Row& r :
         Query("SELECT serial FROM units WHERE record_id LIKE ? ORDER BY CAST(SUBSTRING(record_id FROM 18) AS INTEGER)",
               {db::Param::Str(key + "-%")}))
        serials.push_back(r[0].text);
    return serials;
}

std::vector<std::string> DbArgs(const std::string& series) {
    return {"--serial-db", TestDb(), "--serial-series", series, "--serial-state", "line.state", "--units", "units.csv"};
}

}  // namespace

// Two stations, three ports each, one series: every passed board of either
// station has a number of its own, the database says each passed, and every
// unit record is in the units table once.
TEST(CliDb, TwoStationsOfThreePortsGiveEveryPassedBoardItsOwnNumber) {
    REQUIRE_GANG();
    REQUIRE_DB();
    const std::string series = FreshSeries("gang");
    const Bytes fw = Random(3000, 60);
    Folder a, b;
    for (Folder* f : {&a, &b}) WriteBytes(f->File("fw.bin"), fw);
    for (int n = 31; n <= 36; ++n) SimScenario("--part T30C64 --pace 0 --repeat-delay-ms 300", GangDir(n));
    auto args = [&](const char* ports) {
        std::vector<std::string> v = {"program", "--port",         ports,      "--part", "T30C64",
                                      "--flash", "fw.bin",         "--repeat", "9",      "--serial-addr",
                                      "100",     "--serial-start", "500",      "--json"};
        const std::vector<std::string> more = DbArgs(series);
        v.insert(v.end(), more.begin(), more.end());
        return v;
    };
    clitest::Process pa(a.Command(args("COM31,COM32,COM33")), a.Path());
    clitest::Process pb(b.Command(args("COM34,COM35,COM36")), b.Path());
    const RunResult ra = pa.Wait(180000), rb = pb.Wait(180000);
    ASSERT_EQ(ra.exitCode, 0) << Describe(ra);
    ASSERT_EQ(rb.exitCode, 0) << Describe(rb);
    std::vector<std::uint64_t> passed = Serials(JsonLines(ra.out));
    const std::vector<std::uint64_t> other = Serials(JsonLines(rb.out));
    EXPECT_EQ(passed.size(), 9u);
    EXPECT_EQ(other.size(), 9u);
    passed.insert(passed.end(), other.begin(), other.end());
    std::sort(passed.begin(), passed.end());
    EXPECT_EQ(passed, Range(500, 18));
    const std::map<std::string, std::string> states = SeriesStates(series);
    EXPECT_EQ(states.size(), 18u);
    for (const auto& s : states) EXPECT_EQ(s.second, "passed") << s.first;
    EXPECT_EQ(UnitsOf(a.File("units.csv.outbox")).size(), 9u);
    EXPECT_EQ(UnitsOf(b.File("units.csv.outbox")).size(), 9u);
}

// A station killed while its board holds a number: started again, it marks
// that number lost in the database, and no board of any station gets it.
TEST(CliDb, KilledStationLosesItsNumberInFlightForGood) {
    REQUIRE_DB();
    const std::string series = FreshSeries("killed");
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(2048, 61));
    std::vector<std::string> args = {"program", "--port",        "KV707", "--part",         "T20G8", "--flash",
                                     "fw.bin",  "--serial-addr", "10",    "--serial-start", "100",   "--json"};
    const std::vector<std::string> more = DbArgs(series);
    args.insert(args.end(), more.begin(), more.end());
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> v = args;
        v.insert(v.end(), extra.begin(), extra.end());
        return v;
    };
    RunResult r = f.Cli(with({"--repeat", "2"}));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), (std::vector<std::uint64_t>{100, 101}));

    f.Adapter("never\n");
    {
        clitest::Process held(f.Command(with({"--forever", "--progress"})), f.Path());
        bool waiting = false;
        const RunResult killed = held.Wait(60000, [&](const std::string& err) {
            if (waiting || err.find("Please repower on DUT") == std::string::npos) return;
            waiting = true;
            EXPECT_EQ(SeriesStates(series)["102"], "taken");
            held.SignalGroup(SIGKILL);
        });
        ASSERT_TRUE(waiting) << Describe(killed);
    }
    // Another station meanwhile: 102 is not free for it.
    Folder other;
    WriteBytes(other.File("fw.bin"), Random(2048, 61));
    r = other.Cli(with({"--repeat", "1"}));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), (std::vector<std::uint64_t>{103}));

    f.Adapter("");
    r = f.Cli(with({"--repeat", "2"}));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Serials(JsonLines(r.out)), (std::vector<std::uint64_t>{104, 105})) << "102 may be on the killed board";
    EXPECT_NE(r.err.find("1 serial number(s) in flight"), std::string::npos) << Describe(r);
    EXPECT_EQ(SeriesStates(series)["102"], "lost");
}

// The database stops in the middle of a run and starts again: no board is
// programmed without a number (the run waits and says why), every board
// passes with a number of its own, and every unit record arrives once.
TEST(CliDb, DatabaseStoppedMidRunHoldsTheBoardsAndLosesNoRecord) {
    REQUIRE_DB();
    const char* ctl = std::getenv("TARVEL_DB_CTL");
    const char* options = std::getenv("TARVEL_DB_SERVER_OPTIONS");
    if (ctl == nullptr || options == nullptr) GTEST_SKIP() << "the test database cannot be stopped from here";
    const std::string series = FreshSeries("outage");
    Folder f;
    WriteBytes(f.File("fw.bin"), Random(2048, 62));
    std::vector<std::string> args = {"program", "--port",        "KV707", "--part",   "T20G8", "--flash",
                                     "fw.bin",  "--serial-addr", "10",    "--repeat", "12",    "--json"};
    const std::vector<std::string> more = DbArgs(series);
    args.insert(args.end(), more.begin(), more.end());
    clitest::Process run(f.Command(args), f.Path());
    bool stopped = false;
    const RunResult r = run.Wait(180000, nullptr, [&](const std::string& out) {
        if (stopped || Boards(JsonLines(out)).size() < 3) return;
        stopped = true;
        EXPECT_EQ(Shell(std::string(ctl) + " -m fast stop"), 0);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        EXPECT_EQ(Shell(std::string(ctl) + " -o '" + options + "' -w start"), 0);
    });
    ASSERT_TRUE(stopped) << Describe(r);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.err.find("no serial number for the next board"), std::string::npos) << Describe(r);
    const std::vector<Value> boards = Boards(JsonLines(r.out));
    ASSERT_EQ(boards.size(), 12u) << Describe(r);
    for (const Value& b : boards) EXPECT_TRUE(b["passed"].boolean && b["serial"].kind != Value::Kind::Null);
    std::vector<std::uint64_t> serials = SortedPassedSerials(JsonLines(r.out));
    EXPECT_EQ(std::unique(serials.begin(), serials.end()), serials.end());
    std::vector<std::string> units = UnitsOf(f.File("units.csv.outbox"));
    ASSERT_EQ(units.size(), 12u) << Describe(r);
    for (std::size_t i = 0; i < boards.size(); ++i) EXPECT_EQ(units[i], boards[i]["serial"].text);
    for (const auto& s : SeriesStates(series)) EXPECT_EQ(s.second, "passed") << s.first;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) {
            const std::string prefix = std::string("--") + name + "=";
            return a.compare(0, prefix.size(), prefix) == 0 ? a.substr(prefix.size()) : std::string();
        };
        if (!value("win-bin").empty()) g_env.winBin = value("win-bin");
        if (!value("sim-dir").empty()) g_env.simDir = value("sim-dir");
        if (!value("com").empty()) g_env.com = value("com");
        if (!value("idle-com").empty()) g_env.idleCom = value("idle-com");
        if (!value("null-com").empty()) g_env.nullCom = value("null-com");
        if (!value("lost-com").empty()) g_env.lostCom = value("lost-com");
        if (!value("lost-sim-dir").empty()) g_env.lostSimDir = value("lost-sim-dir");
        if (!value("lost-socat-pid").empty()) g_env.lostSocatPid = std::atoi(value("lost-socat-pid").c_str());
        if (!value("gang-dir").empty()) g_env.gangDir = value("gang-dir");
        if (!value("gang-lost-socat-pid").empty())
            g_env.gangLostSocatPid = std::atoi(value("gang-lost-socat-pid").c_str());
    }
    if (g_env.winBin.empty()) {
        std::fprintf(stderr, "usage: cli_e2e_tests --win-bin=DIR [--sim-dir=DIR --com=COMn --idle-com=COMm]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
