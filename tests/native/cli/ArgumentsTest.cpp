// The command line: what every accepted form means, and a clear refusal
// (naming the option) for everything else.
#include "cli/Arguments.h"

#include "image/InsertAddress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using cli::Area;
using cli::Command;
using cli::ParseArguments;

std::vector<std::wstring> Split(const std::wstring& line) {
    std::wistringstream in(line);
    std::vector<std::wstring> out;
    std::wstring w;
    while (in >> w) out.push_back(w);
    return out;
}

const std::wstring kProgram = L"program --port COM3 --part T30C64 --flash a.hex ";

TEST(Arguments, RefusesWhatItCannotMeanAndNamesTheCulprit) {
    struct Case {
        std::wstring line;
        std::wstring mentions;
    };
    const Case cases[] = {
        {L"", L"no command"},
        {L"flash a.hex", L"unknown command 'flash'"},
        {L"--port COM3 program", L"command comes first"},
        {L"parts --port COM3", L"--port is not an option of parts"},
        {L"image --part T30C64 --flash a.hex --log x.csv", L"--log is not an option of image"},
        {kProgram + L"--speed 9600", L"unknown option --speed"},
        {kProgram + L"-x", L"unexpected argument '-x'"},
        {kProgram + L"stray", L"unexpected argument 'stray'"},
        {kProgram + L"--repeat", L"--repeat needs a value"},
        {kProgram + L"--repeat=", L"--repeat needs a value"},
        {kProgram + L"--forever=1", L"--forever takes no value"},
        {kProgram + L"--repeat 0", L"--repeat must be 1 to"},
        {kProgram + L"--repeat -3", L"not a number"},
        {kProgram + L"--repeat 3x", L"not a number"},
        {kProgram + L"--repeat 4294967296", L"--repeat must be 1 to 4294967295"},
        {kProgram + L"--repeat 2 --repeat 3", L"--repeat given twice"},
        {kProgram + L"--repeat 2 --forever", L"exclude each other"},
        {kProgram + L"--port com3", L"--port: com3 is given twice"},
        {kProgram + L"--port COM4,,COM5", L"empty port name"},
        {L"dump --port COM3,COM4 --part HX2560", L"only program takes several ports"},
        {kProgram + L"--keep-going --stop-on-fail", L"exclude each other"},
        {kProgram + L"--option-bits 256", L"--option-bits must be 0 to 255"},
        {kProgram + L"--serial-width 4", L"--serial-addr is required"},
        {kProgram + L"--serial-addr 10 --serial-width 9", L"--serial-width must be 1 to 8"},
        {kProgram + L"--serial-addr 10 --serial-width 0", L"--serial-width must be 1 to 8"},
        {kProgram + L"--serial-addr 10 --serial-step 0", L"--serial-step must be 1 to"},
        {kProgram + L"--serial-addr 10 --serial-start 18446744073709551616", L"not a number"},
        {kProgram + L"--serial-addr 0x", L"not a hex address"},
        {kProgram + L"--serial-addr 123456789", L"not a hex address"},
        {kProgram + L"--serial-addr 12G4", L"not a hex address"},
        {kProgram + L"--serial-addr 10 --serial-endian middle", L"little or big"},
        {kProgram + L"--serial-state s.txt", L"--serial-addr is required"},
        {kProgram + L"--serial-list macs.txt", L"--serial-addr is required"},
        {kProgram + L"--serial-addr 10 --serial-list m.txt --serial-start 5", L"no --serial-start or --serial-step"},
        {kProgram + L"--serial-addr 10 --serial-state a --serial-state b", L"--serial-state given twice"},
        {kProgram + L"--clear", L"--clear must come before"},
        {kProgram + L"--clear --clear --flash b.bin", L"--clear given twice"},
        {L"program --part T30C64 --flash a.hex", L"--port is required"},
        {L"program --port KV707 --flash a.hex", L"--part is required"},
        {L"program --port KV707 --part T30C64 --eeprom e.bin", L"--flash is required"},
        {L"image --part T30C64", L"at least one --flash or --eeprom"},
        {L"dump --part HX2560", L"--port is required"},
        {L"dump --port KV707 --part HX2560 --flash a.hex", L"--flash is not an option of dump"},
        // Projects.
        {L"project", L"project: new or show"},
        {L"project open p.tarvel", L"project: new or show"},
        {L"project show", L"name the project file"},
        {L"project show a.tarvel b.tarvel", L"unexpected argument 'b.tarvel'"},
        {L"project show a.tarvel --port COM3", L"--port is not an option of project show"},
        {L"project new --part T30C64 --flash a.hex", L"--out FILE.tarvel is required"},
        {L"project new --out p.tarvel --flash a.hex", L"--part is required"},
        {L"project new --out p.tarvel --part T30C64 --eeprom e.bin", L"--flash is required"},
        {L"project new --out p.tarvel --part T30C64 --flash a.hex --repeat 3",
         L"--repeat is not an option of project new"},
        {L"project new --out p.tarvel --part T30C64 --flash a.hex --serial-width 2", L"--serial-addr is required"},
        {L"project new --out p.tarvel --part T30C64 --flash a.hex --name a --name b", L"--name given twice"},
        {L"program --project p.tarvel --flash a.hex", L"--flash: with --project the files are the project's"},
        {L"program --project p.tarvel --clear", L"--clear: with --project the files are the project's"},
        {L"image --project p.tarvel --eeprom e.bin", L"--eeprom: with --project the files are the project's"},
        {L"program --project p.tarvel --repeat 2 --forever", L"exclude each other"},
        {L"program --project p.tarvel --serial-list m.txt --serial-step 2", L"no --serial-start or --serial-step"},
        {L"program --project a.tarvel --project b.tarvel", L"--project given twice"},
        {L"dump --project p.tarvel --port KV707 --part HX2560", L"--project is not an option of dump"},
        {L"image --project p.tarvel --port COM3", L"--port is not an option of image"},
    };
    for (const Case& c : cases) {
        const cli::ParsedArguments p = ParseArguments(Split(c.line));
        EXPECT_FALSE(p.ok) << std::string(c.line.begin(), c.line.end());
        EXPECT_NE(p.error.find(c.mentions), std::wstring::npos)
            << std::string(c.line.begin(), c.line.end()) << " -> " << std::string(p.error.begin(), p.error.end());
    }
}

TEST(Arguments, HelpAndVersionWinWhereverTheyStand) {
    EXPECT_EQ(ParseArguments(Split(L"program --bogus --help")).options.command, Command::Help);
    EXPECT_EQ(ParseArguments(Split(L"-h")).options.command, Command::Help);
    EXPECT_EQ(ParseArguments(Split(L"help")).options.command, Command::Help);
    EXPECT_EQ(ParseArguments(Split(L"parts --version")).options.command, Command::Version);
    EXPECT_TRUE(ParseArguments(Split(L"--version")).ok);
}

TEST(Arguments, FilesKeepTheirOrderAddressAndClear) {
    const cli::ParsedArguments p =
        ParseArguments(Split(L"image --part T30C64 --flash boot.hex --clear --flash=app.bin@8000 --eeprom cal.bin@0x40 "
                             L"--flash my@home.bin --flash x.bin@-1 --out o.bin --eeprom-out e.bin"));
    ASSERT_TRUE(p.ok) << std::string(p.error.begin(), p.error.end());
    const auto& l = p.options.loads;
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[0].path, L"boot.hex");
    EXPECT_EQ(l[0].insertOffset, 0u);
    EXPECT_FALSE(l[0].clearFirst);
    EXPECT_EQ(l[1].path, L"app.bin");
    EXPECT_EQ(l[1].insertOffset, 0x8000u);
    EXPECT_TRUE(l[1].clearFirst);  // --clear applies to the file after it only
    EXPECT_EQ(l[2].area, Area::Eeprom);
    EXPECT_EQ(l[2].insertOffset, 0x40u);
    EXPECT_FALSE(l[2].clearFirst);
    // Text after the last '@' that is no address belongs to the name.
    EXPECT_EQ(l[3].path, L"my@home.bin");
    EXPECT_EQ(l[3].insertOffset, 0u);
    EXPECT_EQ(l[4].path, L"x.bin@-1");
    EXPECT_EQ(p.options.out, L"o.bin");
    EXPECT_EQ(p.options.eepromOut, L"e.bin");
}

TEST(Arguments, ProgramOptionsAndTheirDefaults) {
    cli::ParsedArguments p = ParseArguments(Split(kProgram));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.repeat, 1u);
    EXPECT_FALSE(p.options.forever);
    EXPECT_FALSE(p.options.serial);
    EXPECT_TRUE(p.options.baud.empty());
    EXPECT_EQ(p.options.progress, cli::ProgressMode::Auto);

    p = ParseArguments(Split(kProgram + L"--repeat 0x10 --serial-addr 0x7FF0 --serial-start 0xFFFF "
                                        L"--serial-step 2 --serial-width 2 --serial-endian big "
                                        L"--option-bits 0x05 --erase-by-size --rstn-cold-reset --keep-going "
                                        L"--baud=Auto --checkrate 4800 --log run.csv --json --no-progress"));
    ASSERT_TRUE(p.ok) << std::string(p.error.begin(), p.error.end());
    const cli::Options& o = p.options;
    EXPECT_EQ(o.repeat, 16u);
    EXPECT_TRUE(o.serial);
    EXPECT_EQ(o.serialField.address, 0x7FF0u);
    EXPECT_EQ(o.serialStart, 0xFFFFu);
    EXPECT_EQ(o.serialStep, 2u);
    EXPECT_EQ(o.serialField.width, 2u);
    EXPECT_TRUE(o.serialField.bigEndian);
    EXPECT_EQ(o.optionBits, 5);
    EXPECT_TRUE(o.optionBitsGiven && o.eraseBySize && o.rstnColdReset && o.keepGoing && o.json);
    EXPECT_EQ(o.baud, L"Auto");
    EXPECT_EQ(o.checkrate, L"4800");
    EXPECT_EQ(o.log, L"run.csv");
    EXPECT_EQ(o.progress, cli::ProgressMode::None);
}

// A gang is named with commas, by --port repeated, or both, in the order
// given; one port is no gang.
TEST(Arguments, SeveralPortsMakeAGangInTheOrderGiven) {
    struct Case {
        std::wstring ports;
        std::vector<std::wstring> want;
    };
    const Case cases[] = {
        {L"--port COM3", {L"COM3"}},
        {L"--port COM3,COM4,COM5", {L"COM3", L"COM4", L"COM5"}},
        {L"--port COM4 --port COM3", {L"COM4", L"COM3"}},
        {L"--port COM3,COM4 --port COM9", {L"COM3", L"COM4", L"COM9"}},
    };
    for (const Case& c : cases) {
        const cli::ParsedArguments p =
            ParseArguments(Split(L"program --part T30C64 --flash a.hex --stop-on-fail " + c.ports));
        ASSERT_TRUE(p.ok) << std::string(p.error.begin(), p.error.end());
        EXPECT_EQ(p.options.ports, c.want);
        EXPECT_EQ(p.options.port, c.want.front());
        EXPECT_TRUE(p.options.stopOnFail);
    }
}

// With --project the command line may leave out what the project brings;
// project new and show take their own forms. Every option given is known by
// name afterwards, once, for a locked project's check.
TEST(Arguments, ProjectCommandsAndWhatTheyLeaveToTheProject) {
    struct Case {
        std::wstring line;
        Command command;
        std::wstring project;
        std::vector<std::wstring> given;
    };
    const Case cases[] = {
        {L"program --project p.tarvel", Command::Program, L"p.tarvel", {L"project"}},
        {L"program --project=p.tarvel --port COM3 --baud 9600 --port COM4",
         Command::Program,
         L"p.tarvel",
         {L"project", L"port", L"baud"}},
        {L"image --project p.tarvel --part T30C64 --out o.bin --json",
         Command::Image,
         L"p.tarvel",
         {L"project", L"part", L"out", L"json"}},
        {L"project show p.tarvel --json", Command::ProjectShow, L"p.tarvel", {L"json"}},
        {L"project show --json p.tarvel", Command::ProjectShow, L"p.tarvel", {L"json"}},
        {L"project new --out p.tarvel --part T30C64 --flash a.hex --flash b.bin@4000 --port COM3,COM4 "
         L"--name Line1 --note rev-B --lock-password-file pw.txt --log run.csv",
         Command::ProjectNew,
         L"",
         {L"out", L"part", L"flash", L"port", L"name", L"note", L"lock-password-file", L"log"}},
    };
    for (const Case& c : cases) {
        const cli::ParsedArguments p = ParseArguments(Split(c.line));
        ASSERT_TRUE(p.ok) << std::string(c.line.begin(), c.line.end()) << " -> "
                          << std::string(p.error.begin(), p.error.end());
        EXPECT_EQ(p.options.command, c.command);
        EXPECT_EQ(p.options.project, c.project);
        EXPECT_EQ(p.options.given, c.given) << std::string(c.line.begin(), c.line.end());
    }
    const cli::Options o = ParseArguments(Split(cases[5].line)).options;
    EXPECT_EQ(o.out, L"p.tarvel");
    EXPECT_EQ(o.name, L"Line1");
    EXPECT_EQ(o.note, L"rev-B");
    EXPECT_EQ(o.lockPasswordFile, L"pw.txt");
    EXPECT_EQ(o.ports, (std::vector<std::wstring>{L"COM3", L"COM4"}));
    ASSERT_EQ(o.loads.size(), 2u);
    EXPECT_EQ(o.loads[1].insertOffset, 0x4000u);
}

// A gang's workers read the set-up back from SetupArguments: every part of
// it comes back as it was, a file name that ends in '@' and hex digits too.
TEST(Arguments, SetupArgumentsReadBackToTheSameSetUp) {
    cli::Options o = ParseArguments(Split(L"program --port COM3,COM4 --part T30C64 --baud 9600 --checkrate 4800 "
                                          L"--option-bits 5 --erase-by-size --rstn-cold-reset --flash boot.hex "
                                          L"--clear --flash app.bin@8000 --eeprom cal.bin@40 --serial-addr 7FF0 "
                                          L"--serial-width 3 --serial-endian big --repeat 9 --json"))
                         .options;
    o.loads[0].path = L"odd@AB";  // loaded at 0, not at 0xAB
    const cli::ParsedArguments back = ParseArguments(cli::SetupArguments(o));
    ASSERT_TRUE(back.ok) << std::string(back.error.begin(), back.error.end());
    const cli::Options& b = back.options;
    EXPECT_EQ(b.command, Command::Program);
    EXPECT_EQ(b.ports, o.ports);
    EXPECT_EQ(b.part, o.part);
    EXPECT_EQ(b.baud, o.baud);
    EXPECT_EQ(b.checkrate, o.checkrate);
    EXPECT_EQ(b.optionBits, o.optionBits);
    EXPECT_TRUE(b.optionBitsGiven && b.eraseBySize && b.rstnColdReset);
    ASSERT_EQ(b.loads.size(), o.loads.size());
    for (std::size_t i = 0; i < o.loads.size(); ++i) {
        EXPECT_EQ(b.loads[i].area, o.loads[i].area) << i;
        EXPECT_EQ(b.loads[i].path, o.loads[i].path) << i;
        EXPECT_EQ(b.loads[i].insertOffset, o.loads[i].insertOffset) << i;
        EXPECT_EQ(b.loads[i].clearFirst, o.loads[i].clearFirst) << i;
    }
    EXPECT_TRUE(b.serial);
    EXPECT_EQ(b.serialField.address, 0x7FF0u);
    EXPECT_EQ(b.serialField.width, 3u);
    EXPECT_TRUE(b.serialField.bigEndian);
}

TEST(Arguments, AddressesReadLikeTheInsertAreaDialog) {
    // Every text the command line takes as an address means what the
    // dialog's edit would make of it.
    const wchar_t* accepted[] = {L"0", L"8000", L"0x8000", L"0X1f", L"ffffffff", L"0x0000000A", L"00001234"};
    for (const wchar_t* t : accepted) {
        std::uint32_t v = 0;
        ASSERT_TRUE(cli::ParseAddress(t, &v)) << std::wstring(t).size();
        EXPECT_EQ(v, image::ParseInsertAddress(t));
    }
    const wchar_t* refused[] = {L"", L"0x", L" 10", L"+10", L"-1", L"1 0", L"100000000", L"0x123456789", L"g"};
    for (const wchar_t* t : refused) {
        std::uint32_t v = 0;
        EXPECT_FALSE(cli::ParseAddress(t, &v)) << std::string(t, t + std::wcslen(t));
    }
}

TEST(Arguments, CountsAreDecimalOrPrefixedHexWithoutWrapping) {
    struct Case {
        const wchar_t* text;
        bool ok;
        std::uint64_t value;
    };
    const Case cases[] = {
        {L"0", true, 0},
        {L"010", true, 10},  // decimal, not octal
        {L"0x10", true, 16},
        {L"18446744073709551615", true, UINT64_MAX},
        {L"0xFFFFFFFFFFFFFFFF", true, UINT64_MAX},
        {L"18446744073709551616", false, 0},
        {L"0x1FFFFFFFFFFFFFFFF", false, 0},
        {L"", false, 0},
        {L"1e3", false, 0},
        {L"0x", false, 0},
        {L"-0", false, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t v = 0;
        EXPECT_EQ(cli::ParseCount(c.text, &v), c.ok) << std::string(c.text, c.text + std::wcslen(c.text));
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

TEST(Arguments, ABadChecksumStepIsRefusedWithTheReason) {
    struct Case {
        std::wstring step;
        std::wstring mentions;
    };
    const Case cases[] = {
        {L"crc32", L"expected ALG:START-END@ADDR[:big|:little]"},
        {L"crc32:0-7FFB", L"expected ALG:START-END@ADDR"},
        {L"crc32:0@7FFC", L"expected ALG:START-END@ADDR"},
        {L"crc32:0-7FFB@", L"expected ALG:START-END@ADDR"},
        {L"crc32:0-7FFG@7FFC", L"expected ALG:START-END@ADDR"},
        {L"crc32:0-123456789@0", L"expected ALG:START-END@ADDR"},
        {L"CRC32:0-7FFB@7FFC", L"unknown algorithm 'CRC32'"},
        {L"md5:0-7FFB@7FFC", L"unknown algorithm 'md5'"},
        {L"crc32:100-FF@7FFC", L"the range ends before it starts"},
        {L"sum16:0-7FFB@7FFC:msb", L"byte order 'msb'"},
        {L"crc32:0-7FFF@7FFC", L"would lie inside its own range"},
        {L"sum8:10-20@10", L"would lie inside its own range"},
        {L"crc32:0-7FFB@7FFC\u00e9", L"expected ALG:START-END@ADDR"},
    };
    for (const Case& c : cases) {
        for (const std::wstring& line :
             {kProgram + L"--checksum " + c.step, L"image --part T30C64 --flash a.hex --checksum " + c.step,
              L"project new --out p.tarvel --part T30C64 --flash a.hex --checksum " + c.step}) {
            const cli::ParsedArguments p = ParseArguments(Split(line));
            EXPECT_FALSE(p.ok) << std::string(line.begin(), line.end());
            EXPECT_EQ(p.error.rfind(L"--checksum " + c.step + L": ", 0), 0u)
                << std::string(p.error.begin(), p.error.end());
            EXPECT_NE(p.error.find(c.mentions), std::wstring::npos) << std::string(p.error.begin(), p.error.end());
        }
    }
    EXPECT_NE(ParseArguments(Split(L"dump --port KV707 --part HX2560 --checksum crc32:0-F@10"))
                  .error.find(L"--checksum is not an option of dump"),
              std::wstring::npos);
}

TEST(Arguments, ChecksumStepsKeepTheirOrderAndReachAGangsWorkers) {
    const cli::ParsedArguments p = ParseArguments(
        Split(kProgram + L"--serial-addr 7FF0 --checksum crc32:0-7FFB@7FFC --checksum sum8-twos:0-7FFE@0x7FFF:big"));
    ASSERT_TRUE(p.ok) << std::string(p.error.begin(), p.error.end());
    const cli::ParsedArguments back = ParseArguments(cli::SetupArguments(p.options));
    ASSERT_TRUE(back.ok) << std::string(back.error.begin(), back.error.end());
    for (const cli::Options* o : {&p.options, &back.options}) {
        ASSERT_EQ(o->checksums.size(), 2u);
        EXPECT_EQ(o->checksums[0].algorithm, image::ChecksumAlgorithm::Crc32);
        EXPECT_EQ(o->checksums[0].start, 0u);
        EXPECT_EQ(o->checksums[0].end, 0x7FFBu);
        EXPECT_EQ(o->checksums[0].address, 0x7FFCu);
        EXPECT_FALSE(o->checksums[0].bigEndian);
        EXPECT_EQ(o->checksums[1].algorithm, image::ChecksumAlgorithm::Sum8Twos);
        EXPECT_EQ(o->checksums[1].address, 0x7FFFu);
        EXPECT_TRUE(o->checksums[1].bigEndian);
    }
}

}  // namespace
