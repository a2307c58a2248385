// The command line of Tarvel_CLI, read into plain values. Window-free: the
// rules that need the library's parts table (part names, rates, option bits,
// capacities) are checked later, in PartChoice.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/SerialNumber.h"
#include "image/Checksum.h"

namespace cli {

enum class Command { Help, Version, Parts, Image, Program, Dump, ProjectNew, ProjectShow };

enum class Area { Flash, Eeprom };

// One file to load into a buffer, in command-line order.
struct FileLoad {
    Area area = Area::Flash;
    std::wstring path;
    std::uint32_t insertOffset = 0;  // 0: "AP (Code)"; otherwise the "IAP (Data)" address
    bool clearFirst = false;         // the load starts from an empty buffer (Clear Buffer)
};

enum class ProgressMode {
    Auto,   // a bar on a console, nothing when the error output is redirected
    Lines,  // plain lines on the error output, also when it is redirected
    None,
};

struct Options {
    Command command = Command::Help;
    bool json = false;
    ProgressMode progress = ProgressMode::Auto;

    std::wstring port;                // as typed; see NormalizePort (the first of ports)
    std::vector<std::wstring> ports;  // every --port, commas split: more than one makes a gang
    std::wstring part;
    std::wstring baud;       // empty when not given
    std::wstring checkrate;  // empty when not given

    std::vector<FileLoad> loads;
    std::wstring out;        // image: Flash image file; dump: information block file
    std::wstring eepromOut;  // image: EEPROM image file

    std::uint8_t optionBits = 0;
    bool optionBitsGiven = false;
    bool eraseBySize = false;
    bool rstnColdReset = false;

    std::uint64_t repeat = 1;
    bool forever = false;
    bool keepGoing = false;
    bool stopOnFail = false;  // a gang: the first failed board ends the run on every port

    bool serial = false;  // --serial-addr given
    SerialField serialField;
    std::uint64_t serialStart = 1;
    std::uint64_t serialStep = 1;
    std::wstring serialState;  // --serial-state FILE (empty: none)
    std::wstring serialList;   // --serial-list FILE (empty: a sequence)
    // The shared database: an ODBC connection string (a password in it is
    // never printed), the series, and the file that holds the password.
    std::wstring serialDb, serialSeries, serialDbPasswordFile;

    std::wstring log;

    // --checksum steps, in the order given: run over the Flash image, after
    // a board's serial number when there is one.
    std::vector<image::ChecksumStep> checksums;

    // Projects (project/Project.h).
    std::wstring project;           // image, program: --project FILE; project show: FILE
    std::wstring name, note;        // project new: --name, --note
    std::wstring lockPasswordFile;  // project new: --lock-password-file FILE

    // The options given on the command line, by name without "--" ("baud"),
    // each once, in the order first given.
    std::vector<std::wstring> given;
    bool Given(const wchar_t* name) const;
    std::wstring units;  // --units FILE: the record of every unit (empty: none)
    // A program driving the run (the window's production view): --events adds
    // a JSON record for every change of a port's state, --control takes
    // commands on the standard input (stop, retry, reset-counters).
    bool events = false;
    bool control = false;
};

struct ParsedArguments {
    bool ok = false;
    std::wstring error;  // what is wrong, naming the option (when !ok)
    Options options;
};

// args: the arguments after the program name.
ParsedArguments ParseArguments(const std::vector<std::wstring>& args);

// The rules between the options of a whole command line, checked once a
// project run has taken the project's set-up into o (ParseArguments checks
// them itself when no project is named). Empty text, or what is wrong.
std::wstring CheckOptions(const Options& o);

// The program command line of o's set-up: ports, part, rates, option bits,
// the two flags, the files with their addresses and --clear, the serial
// field. A gang's workers read it, so that every port programs with exactly
// the set-up the command checked, whether it came from a project or not.
std::vector<std::wstring> SetupArguments(const Options& o);

// A count: decimal digits, or 0x and hex digits; no sign, no blanks, no
// value beyond 64 bits.
bool ParseCount(const std::wstring& text, std::uint64_t* value);

// An address as the insert-area dialog takes it: hexadecimal, with or
// without 0x, one to eight digits. The value is image::ParseInsertAddress's,
// so a script and the dialog agree on every text both accept.
bool ParseAddress(const std::wstring& text, std::uint32_t* value);

// Splits FILE@ADDR at its last '@' when what follows is an address;
// otherwise the whole text is the file name.
void SplitFileAddress(const std::wstring& text, std::wstring* path, bool* hasAddress, std::uint32_t* address);

// The usage text of --help (UTF-8), and the one-line hint printed after a
// usage error.
const char* UsageText();
const char* UsageHint();

}  // namespace cli
