// A project run's options: the project's set-up with the command line over
// it, paths resolved against the project's folder, and a locked project
// refusing every option that would change the set-up.
#include "cli/ProjectOptions.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using cli::ParseArguments;

const std::wstring kFolder = L"C:\\line\\";

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

cli::Options Parsed(const std::wstring& line) {
    std::wistringstream in(line);
    std::vector<std::wstring> args;
    std::wstring w;
    while (in >> w) args.push_back(w);
    const cli::ParsedArguments p = ParseArguments(args);
    EXPECT_TRUE(p.ok) << Narrow(line) << " -> " << Narrow(p.error);
    return p.options;
}

project::Project Line1() {
    project::Project p;
    p.part = L"T30C64";
    p.baud = L"57600";
    p.checkRate = L"4800";
    p.optionBits = 3;
    p.eraseBySize = true;
    p.flash = {{L"fw/boot.hex", 0, false, 10, 1}, {L"D:\\shared\\app.bin", 0x4000, true, 20, 2}};
    p.eeprom = {{L"cal.bin", 0x10, false, 30, 3}};
    p.serial.enabled = true;
    p.serial.address = 0x7FF0;
    p.serial.width = 3;
    p.serial.bigEndian = true;
    p.serial.start = 100;
    p.serial.step = 2;
    p.serial.stateFile = L"state/line1.state";
    p.ports = {L"COM3", L"COM4"};
    p.log = L"run.csv";
    return p;
}

TEST(ProjectOptions, TheProjectFillsWhatTheCommandLineLeavesOut) {
    cli::Options o = Parsed(L"program --project line1.tarvel --repeat 5");
    ASSERT_EQ(cli::ApplyProject(Line1(), kFolder, &o), L"");
    EXPECT_EQ(o.part, L"T30C64");
    EXPECT_EQ(o.baud, L"57600");
    EXPECT_EQ(o.checkrate, L"4800");
    EXPECT_EQ(o.optionBits, 3);
    EXPECT_TRUE(o.optionBitsGiven && o.eraseBySize);
    EXPECT_FALSE(o.rstnColdReset);
    ASSERT_EQ(o.loads.size(), 3u);
    EXPECT_EQ(o.loads[0].path, L"C:\\line\\fw\\boot.hex");
    EXPECT_EQ(o.loads[1].path, L"D:\\shared\\app.bin");
    EXPECT_EQ(o.loads[1].insertOffset, 0x4000u);
    EXPECT_TRUE(o.loads[1].clearFirst);
    EXPECT_EQ(o.loads[2].area, cli::Area::Eeprom);
    EXPECT_EQ(o.loads[2].path, L"C:\\line\\cal.bin");
    EXPECT_TRUE(o.serial);
    EXPECT_EQ(o.serialField.address, 0x7FF0u);
    EXPECT_EQ(o.serialField.width, 3u);
    EXPECT_TRUE(o.serialField.bigEndian);
    EXPECT_EQ(o.serialStart, 100u);
    EXPECT_EQ(o.serialStep, 2u);
    EXPECT_EQ(o.serialState, L"C:\\line\\state\\line1.state");
    EXPECT_EQ(o.serialList, L"");
    EXPECT_EQ(o.ports, (std::vector<std::wstring>{L"COM3", L"COM4"}));
    EXPECT_EQ(o.port, L"COM3");
    EXPECT_EQ(o.log, L"C:\\line\\run.csv");
    EXPECT_EQ(o.repeat, 5u);

    // image takes the part and the files only: a gang's ports are no
    // option of image.
    cli::Options image = Parsed(L"image --project line1.tarvel --out fw.bin");
    ASSERT_EQ(cli::ApplyProject(Line1(), kFolder, &image), L"");
    EXPECT_EQ(image.loads.size(), 3u);
    EXPECT_TRUE(image.ports.empty());
    EXPECT_FALSE(image.serial);
}

TEST(ProjectOptions, CommandLineOverridesAnUnlockedProject) {
    // A project that takes its numbers from a list refuses a start, as a
    // list on the command line does.
    project::Project listed = Line1();
    listed.serial.listFile = L"macs.txt";
    cli::Options o = Parsed(L"program --project line1.tarvel --serial-start 7");
    EXPECT_NE(cli::ApplyProject(listed, kFolder, &o).find(L"no --serial-start or --serial-step"), std::wstring::npos);

    o = Parsed(
        L"program --project line1.tarvel --port KV707 --baud 9600 --rstn-cold-reset --option-bits 0 "
        L"--serial-start 7 --log other.csv");
    ASSERT_EQ(cli::ApplyProject(Line1(), kFolder, &o), L"");
    EXPECT_EQ(o.ports, std::vector<std::wstring>{L"KV707"});
    EXPECT_EQ(o.baud, L"9600");
    EXPECT_EQ(o.checkrate, L"4800");
    EXPECT_EQ(o.optionBits, 0);
    EXPECT_TRUE(o.eraseBySize && o.rstnColdReset);
    EXPECT_EQ(o.serialStart, 7u);
    EXPECT_EQ(o.serialStep, 2u);
    EXPECT_EQ(o.log, L"other.csv");  // as typed: from the current folder

    // A project without ports needs --port; one without serial numbers
    // needs --serial-addr for the other serial options.
    project::Project bare = Line1();
    bare.ports.clear();
    bare.serial = {};
    o = Parsed(L"program --project line1.tarvel");
    EXPECT_NE(cli::ApplyProject(bare, kFolder, &o).find(L"--port is required"), std::wstring::npos);
    o = Parsed(L"program --project line1.tarvel --port COM5 --serial-width 2");
    EXPECT_NE(cli::ApplyProject(bare, kFolder, &o).find(L"--serial-addr is required"), std::wstring::npos);
}

TEST(ProjectOptions, LockedProjectRefusesEveryOptionThatChangesTheSetUp) {
    project::Project locked = Line1();
    locked.lock.locked = true;
    const wchar_t* refused[] = {
        L"--part T30C128",      L"--baud 9600",      L"--checkrate 9600",   L"--option-bits 1", L"--erase-by-size",
        L"--rstn-cold-reset",   L"--serial-addr 10", L"--serial-start 5",   L"--serial-step 2", L"--serial-width 2",
        L"--serial-endian big", L"--serial-state s", L"--serial-list m.txt"};
    for (const wchar_t* extra : refused) {
        cli::Options o = Parsed(L"program --project line1.tarvel --repeat 2 " + std::wstring(extra));
        const std::wstring why = cli::ApplyProject(locked, kFolder, &o);
        const std::wstring option = std::wstring(extra).substr(0, std::wstring(extra).find(L' '));
        EXPECT_EQ(why.rfind(option + L": the project is locked", 0), 0u) << Narrow(extra) << " -> " << Narrow(why);
    }
    cli::Options o =
        Parsed(L"program --project line1.tarvel --port COM9 --repeat 3 --keep-going --log x.csv --json --no-progress");
    ASSERT_EQ(cli::ApplyProject(locked, kFolder, &o), L"");
    EXPECT_EQ(o.ports, std::vector<std::wstring>{L"COM9"});
    EXPECT_EQ(o.log, L"x.csv");
    o = Parsed(L"program --project line1.tarvel --forever --stop-on-fail --progress");
    EXPECT_EQ(cli::ApplyProject(locked, kFolder, &o), L"");
    o = Parsed(L"image --project line1.tarvel --out a.hex --eeprom-out e.bin --json");
    EXPECT_EQ(cli::ApplyProject(locked, kFolder, &o), L"");
    o = Parsed(L"image --project line1.tarvel --part T30C128");
    EXPECT_EQ(cli::ApplyProject(locked, kFolder, &o).rfind(L"--part: the project is locked", 0), 0u);
}

}  // namespace
