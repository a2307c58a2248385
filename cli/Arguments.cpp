#include "cli/Arguments.h"

#include "text/Numbers.h"
#include "text/Utf8.h"

#include <cwctype>

namespace cli {

namespace {

enum CommandBit : unsigned { kParts = 1, kImage = 2, kProgram = 4, kDump = 8, kProjectNew = 16, kProjectShow = 32 };

// The options that describe a set-up: what project new keeps in a project.
constexpr unsigned kSetup = kProgram | kProjectNew;

enum class Opt {
    Json,
    Progress,
    NoProgress,
    Port,
    Part,
    Baud,
    Checkrate,
    Flash,
    Eeprom,
    Clear,
    Out,
    EepromOut,
    OptionBits,
    EraseBySize,
    RstnColdReset,
    Repeat,
    Forever,
    KeepGoing,
    StopOnFail,
    SerialAddr,
    SerialStart,
    SerialStep,
    SerialWidth,
    SerialEndian,
    SerialState,
    SerialList,
    Log,
    Checksum,
    Project,
    Name,
    Note,
    LockPasswordFile,
    Units,
    Events,
    Control,
    SerialDb,
    SerialSeries,
    SerialDbPasswordFile,
};

struct OptionRule {
    const wchar_t* name;
    Opt id;
    bool takesValue;
    unsigned commands;
};

const OptionRule kOptions[] = {
    {L"json", Opt::Json, false, kParts | kImage | kProgram | kDump | kProjectShow},
    {L"progress", Opt::Progress, false, kProgram | kDump},
    {L"no-progress", Opt::NoProgress, false, kProgram | kDump},
    {L"port", Opt::Port, true, kSetup | kDump},
    {L"part", Opt::Part, true, kImage | kSetup | kDump},
    {L"baud", Opt::Baud, true, kSetup | kDump},
    {L"checkrate", Opt::Checkrate, true, kSetup | kDump},
    {L"flash", Opt::Flash, true, kImage | kSetup},
    {L"eeprom", Opt::Eeprom, true, kImage | kSetup},
    {L"clear", Opt::Clear, false, kImage | kSetup},
    {L"out", Opt::Out, true, kImage | kDump | kProjectNew},
    {L"eeprom-out", Opt::EepromOut, true, kImage},
    {L"option-bits", Opt::OptionBits, true, kSetup},
    {L"erase-by-size", Opt::EraseBySize, false, kSetup},
    {L"rstn-cold-reset", Opt::RstnColdReset, false, kSetup},
    {L"repeat", Opt::Repeat, true, kProgram},
    {L"forever", Opt::Forever, false, kProgram},
    {L"keep-going", Opt::KeepGoing, false, kProgram},
    {L"stop-on-fail", Opt::StopOnFail, false, kProgram},
    {L"serial-addr", Opt::SerialAddr, true, kSetup},
    {L"serial-start", Opt::SerialStart, true, kSetup},
    {L"serial-step", Opt::SerialStep, true, kSetup},
    {L"serial-width", Opt::SerialWidth, true, kSetup},
    {L"serial-endian", Opt::SerialEndian, true, kSetup},
    {L"serial-state", Opt::SerialState, true, kSetup},
    {L"serial-list", Opt::SerialList, true, kSetup},
    {L"log", Opt::Log, true, kSetup},
    {L"checksum", Opt::Checksum, true, kImage | kSetup},
    {L"project", Opt::Project, true, kImage | kProgram},
    {L"name", Opt::Name, true, kProjectNew},
    {L"note", Opt::Note, true, kProjectNew},
    {L"lock-password-file", Opt::LockPasswordFile, true, kProjectNew},
    {L"units", Opt::Units, true, kProgram},
    {L"events", Opt::Events, false, kProgram},
    {L"control", Opt::Control, false, kProgram},
    {L"serial-db", Opt::SerialDb, true, kSetup},
    {L"serial-series", Opt::SerialSeries, true, kSetup},
    {L"serial-db-password-file", Opt::SerialDbPasswordFile, true, kProgram},
};

const struct {
    const wchar_t* name;
    Command command;
    unsigned bit;
} kCommands[] = {
    {L"parts", Command::Parts, kParts},
    {L"image", Command::Image, kImage},
    {L"program", Command::Program, kProgram},
    {L"dump", Command::Dump, kDump},
    {L"project", Command::ProjectNew, kProjectNew},  // with "new"; "project show" below
    {L"help", Command::Help, 0},
};

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

const wchar_t* CommandName(Command c) {
    if (c == Command::ProjectNew) return L"project new";
    if (c == Command::ProjectShow) return L"project show";
    for (const auto& k : kCommands)
        if (k.command == c) return k.name;
    return L"";
}

// The checks between the options of a command line. projectToCome: image
// or program with --project, whose project brings what the command line
// leaves out, so that nothing is required yet.
std::wstring CheckCommand(const Options& o, bool projectToCome) {
    const Command c = o.command;
    const bool required = !projectToCome;
    if (required && (c == Command::Program || c == Command::Dump) && o.port.empty())
        return L"--port is required (COMn or KV707)";
    if (c != Command::Program && c != Command::ProjectNew && o.ports.size() > 1)
        return L"--port: only program takes several ports";
    if (required && c != Command::Parts && c != Command::ProjectShow && o.part.empty())
        return L"--part is required (see the parts command)";
    if (required && c == Command::Image && o.loads.empty()) return L"give at least one --flash or --eeprom file";
    if (c == Command::ProjectNew && o.out.empty()) return L"--out FILE.tarvel is required: the project file to write";
    if (c == Command::Program || c == Command::ProjectNew) {
        bool flash = false;
        for (const FileLoad& l : o.loads) flash = flash || l.area == Area::Flash;
        if (required && !flash) return L"--flash is required: the library programs no board without code";
        if (o.forever && o.Given(L"repeat")) return L"--repeat and --forever exclude each other";
        if (o.keepGoing && o.stopOnFail) return L"--keep-going and --stop-on-fail exclude each other";
        bool serialDetail = false;
        for (const wchar_t* name : {L"serial-start", L"serial-step", L"serial-width", L"serial-endian", L"serial-state",
                                    L"serial-list", L"serial-db", L"serial-series", L"serial-db-password-file"})
            serialDetail = serialDetail || o.Given(name);
        if (required && serialDetail && !o.serial) return L"--serial-addr is required with the other --serial options";
        if (!o.serialList.empty() && (o.Given(L"serial-start") || o.Given(L"serial-step")))
            return L"--serial-list takes its values from the file: no --serial-start or --serial-step";
        if (!o.serialDb.empty() || !o.serialSeries.empty() || !o.serialDbPasswordFile.empty()) {
            if (o.serialDb.empty()) return L"--serial-series and --serial-db-password-file need --serial-db";
            if (o.serialSeries.empty()) return L"--serial-db needs --serial-series NAME: the series to take from";
            bool plain = o.serialSeries.size() <= 100;
            for (wchar_t ch : o.serialSeries)
                plain = plain && ((ch >= L'0' && ch <= L'9') || (ch >= L'a' && ch <= L'z') ||
                                  (ch >= L'A' && ch <= L'Z') || ch == L'-' || ch == L'_' || ch == L'.');
            if (!plain) return L"--serial-series: a name of up to 100 letters, digits and -_.";
            if (required && o.serialState.empty())
                return L"--serial-db needs --serial-state FILE: the station's own journal of the numbers it takes";
        }
    }
    return L"";
}

class Parser {
public:
    explicit Parser(ParsedArguments& out) : out_(out), o_(out.options) {}

    bool Run(const std::vector<std::wstring>& args) {
        // --help and --version win wherever they stand, as in most tools.
        for (const std::wstring& a : args) {
            if (a == L"--help" || a == L"-h" || a == L"/?") {
                o_.command = Command::Help;
                return true;
            }
        }
        for (const std::wstring& a : args) {
            if (a == L"--version" || a == L"-V") {
                o_.command = Command::Version;
                return true;
            }
        }
        if (args.empty()) return Fail(L"no command given");
        const std::wstring& first = args[0];
        unsigned bit = 0;
        bool known = false;
        for (const auto& k : kCommands) {
            if (first == k.name) {
                o_.command = k.command;
                bit = k.bit;
                known = true;
            }
        }
        if (!known) {
            if (first.rfind(L"-", 0) == 0)
                return Fail(L"the command comes first (parts, image, program, dump or project), not " + first);
            return Fail(L"unknown command '" + first + L"' (parts, image, program, dump or project)");
        }
        if (o_.command == Command::Help) return true;
        std::size_t next = 1;
        if (o_.command == Command::ProjectNew) {
            const std::wstring what = args.size() > 1 ? args[1] : L"";
            if (what == L"show") {
                o_.command = Command::ProjectShow;
                bit = kProjectShow;
            } else if (what != L"new") {
                return Fail(L"project: new or show comes next (project new --out FILE ..., project show FILE)");
            }
            next = 2;
        }

        for (std::size_t i = next; i < args.size(); ++i) {
            const std::wstring& a = args[i];
            if (a.size() < 3 || a.compare(0, 2, L"--") != 0) {
                // project show FILE: the one argument that is no option.
                if (o_.command == Command::ProjectShow && o_.project.empty() && !a.empty()) {
                    o_.project = a;
                    continue;
                }
                return Fail(L"unexpected argument '" + a + L"'");
            }
            std::wstring name = a.substr(2), value;
            bool inlineValue = false;
            const std::size_t eq = name.find(L'=');
            if (eq != std::wstring::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
                inlineValue = true;
            }
            const OptionRule* rule = nullptr;
            for (const OptionRule& s : kOptions)
                if (name == s.name) rule = &s;
            if (rule == nullptr) return Fail(L"unknown option --" + name);
            if ((rule->commands & bit) == 0)
                return Fail(L"--" + name + L" is not an option of " + CommandName(o_.command));
            if (!o_.Given(rule->name)) o_.given.push_back(rule->name);
            if (rule->takesValue) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) return Fail(L"--" + name + L" needs a value");
                    value = args[++i];
                }
                if (value.empty()) return Fail(L"--" + name + L" needs a value");
            } else if (inlineValue) {
                return Fail(L"--" + name + L" takes no value");
            }
            if (!Apply(*rule, value)) return false;
        }
        return Finish();
    }

private:
    bool Fail(const std::wstring& why) {
        out_.error = why;
        return false;
    }

    bool Once(Opt id, const wchar_t* name) {
        for (Opt seen : seen_)
            if (seen == id) return Fail(std::wstring(L"--") + name + L" given twice");
        seen_.push_back(id);
        return true;
    }

    // --port COM3,COM4,... and --port repeated: more than one port makes a
    // gang. One port named twice would start two workers that fight over it.
    bool AddPorts(const std::wstring& value) {
        std::size_t from = 0;
        while (true) {
            const std::size_t comma = value.find(L',', from);
            const std::wstring name =
                value.substr(from, comma == std::wstring::npos ? std::wstring::npos : comma - from);
            if (name.empty()) return Fail(L"--port: empty port name in '" + value + L"'");
            for (const std::wstring& seen : o_.ports)
                if (SameName(seen, name)) return Fail(L"--port: " + name + L" is given twice");
            o_.ports.push_back(name);
            if (comma == std::wstring::npos) break;
            from = comma + 1;
        }
        o_.port = o_.ports.front();
        return true;
    }

    bool Text(std::wstring& field, Opt id, const wchar_t* name, const std::wstring& value) {
        if (!Once(id, name)) return false;
        field = value;
        return true;
    }

    bool Count(const wchar_t* name, const std::wstring& value, std::uint64_t lo, std::uint64_t hi, std::uint64_t* out) {
        std::uint64_t v = 0;
        if (!ParseCount(value, &v))
            return Fail(std::wstring(L"--") + name + L": '" + value + L"' is not a number (decimal, or hex with 0x)");
        if (v < lo || v > hi)
            return Fail(std::wstring(L"--") + name + L" must be " + std::to_wstring(lo) + L" to " +
                        std::to_wstring(hi));
        *out = v;
        return true;
    }

    bool Apply(const OptionRule& s, const std::wstring& value) {
        std::uint64_t n = 0;
        switch (s.id) {
        case Opt::Json: o_.json = true; return true;
        case Opt::Progress:
        case Opt::NoProgress:
            if (!Once(Opt::Progress, L"progress / --no-progress")) return false;
            o_.progress = s.id == Opt::Progress ? ProgressMode::Lines : ProgressMode::None;
            return true;
        case Opt::Port: return AddPorts(value);
        case Opt::Part: return Text(o_.part, s.id, s.name, value);
        case Opt::Baud: return Text(o_.baud, s.id, s.name, value);
        case Opt::Checkrate: return Text(o_.checkrate, s.id, s.name, value);
        case Opt::Out: return Text(o_.out, s.id, s.name, value);
        case Opt::EepromOut: return Text(o_.eepromOut, s.id, s.name, value);
        case Opt::Log: return Text(o_.log, s.id, s.name, value);
        case Opt::Units: return Text(o_.units, s.id, s.name, value);
        case Opt::Checksum: {
            image::ChecksumStep step;
            std::string why;
            // The step's text is ASCII; anything else cannot be one.
            std::string narrow;
            for (wchar_t ch : value) narrow += ch < 0x80 ? static_cast<char>(ch) : '?';
            // A value inside its own range is wrong on any part; the part's
            // size is checked once the part is known.
            if (!image::ParseChecksumStep(narrow, &step, &why) ||
                !(why = image::ChecksumStepProblem(step, 0xFFFFFFFFu)).empty())
                return Fail(L"--checksum " + value + L": " + text::Widen(why));
            o_.checksums.push_back(step);
            return true;
        }
        case Opt::Events: o_.events = true; return true;
        case Opt::Control: o_.control = true; return true;
        case Opt::SerialDb: return Text(o_.serialDb, s.id, s.name, value);
        case Opt::SerialSeries: return Text(o_.serialSeries, s.id, s.name, value);
        case Opt::SerialDbPasswordFile: return Text(o_.serialDbPasswordFile, s.id, s.name, value);
        case Opt::SerialState: return Text(o_.serialState, s.id, s.name, value);
        case Opt::SerialList: return Text(o_.serialList, s.id, s.name, value);
        case Opt::Project: return Text(o_.project, s.id, s.name, value);
        case Opt::Name: return Text(o_.name, s.id, s.name, value);
        case Opt::Note: return Text(o_.note, s.id, s.name, value);
        case Opt::LockPasswordFile: return Text(o_.lockPasswordFile, s.id, s.name, value);
        case Opt::Flash:
        case Opt::Eeprom: {
            FileLoad load;
            load.area = s.id == Opt::Flash ? Area::Flash : Area::Eeprom;
            bool hasAddress = false;
            SplitFileAddress(value, &load.path, &hasAddress, &load.insertOffset);
            if (load.path.empty()) return Fail(std::wstring(L"--") + s.name + L" needs a file name");
            load.clearFirst = pendingClear_;
            pendingClear_ = false;
            o_.loads.push_back(load);
            return true;
        }
        case Opt::Clear:
            if (pendingClear_) return Fail(L"--clear given twice before one file");
            pendingClear_ = true;
            return true;
        case Opt::OptionBits:
            if (!Once(s.id, s.name) || !Count(s.name, value, 0, 255, &n)) return false;
            o_.optionBits = static_cast<std::uint8_t>(n);
            o_.optionBitsGiven = true;
            return true;
        case Opt::EraseBySize: o_.eraseBySize = true; return true;
        case Opt::RstnColdReset: o_.rstnColdReset = true; return true;
        case Opt::Repeat:
            if (!Once(s.id, s.name)) return false;
            return Count(s.name, value, 1, 0xFFFFFFFFu, &o_.repeat);
        case Opt::Forever: o_.forever = true; return true;
        case Opt::KeepGoing: o_.keepGoing = true; return true;
        case Opt::StopOnFail: o_.stopOnFail = true; return true;
        case Opt::SerialAddr:
            if (!Once(s.id, s.name)) return false;
            if (!ParseAddress(value, &o_.serialField.address))
                return Fail(L"--serial-addr: '" + value + L"' is not a hex address (1 to 8 digits, 0x optional)");
            o_.serial = true;
            return true;
        case Opt::SerialStart:
            if (!Once(s.id, s.name)) return false;
            return Count(s.name, value, 0, UINT64_MAX, &o_.serialStart);
        case Opt::SerialStep:
            if (!Once(s.id, s.name)) return false;
            return Count(s.name, value, 1, UINT64_MAX, &o_.serialStep);
        case Opt::SerialWidth:
            if (!Once(s.id, s.name) || !Count(s.name, value, 1, 8, &n)) return false;
            o_.serialField.width = static_cast<unsigned>(n);
            return true;
        case Opt::SerialEndian:
            if (!Once(s.id, s.name)) return false;
            if (value == L"little" || value == L"le") {
                o_.serialField.bigEndian = false;
            } else if (value == L"big" || value == L"be") {
                o_.serialField.bigEndian = true;
            } else {
                return Fail(L"--serial-endian must be little or big, not '" + value + L"'");
            }
            return true;
        }
        return Fail(L"unhandled option --" + std::wstring(s.name));
    }

    bool Finish() {
        const Command c = o_.command;
        const bool projectRun = (c == Command::Image || c == Command::Program) && !o_.project.empty();
        if (projectRun) {
            for (const wchar_t* name : {L"flash", L"eeprom", L"clear"})
                if (o_.Given(name))
                    return Fail(std::wstring(L"--") + name +
                                L": with --project the files are the project's; to change them, save a new project "
                                L"(project new)");
        }
        if (pendingClear_) return Fail(L"--clear must come before the --flash or --eeprom file it applies to");
        if (c == Command::ProjectShow && o_.project.empty())
            return Fail(L"project show: name the project file (project show FILE.tarvel)");
        const std::wstring why = CheckCommand(o_, projectRun);
        return why.empty() || Fail(why);
    }

    ParsedArguments& out_;
    Options& o_;
    std::vector<Opt> seen_;
    bool pendingClear_ = false;
};

}  // namespace

bool ParseCount(const std::wstring& text, std::uint64_t* value) {
    // After "0x" at most 16 digits, leading zeros included.
    if (numbers::HasHexPrefix(text) && text.size() > 2 + 16) return false;
    return numbers::ParseUnsignedAuto(text, UINT64_MAX, *value);
}

bool ParseAddress(const std::wstring& text, std::uint32_t* value) {
    // One to eight hexadecimal digits, "0x" or not.
    const std::wstring_view digits = std::wstring_view(text).substr(numbers::HasHexPrefix(text) ? 2 : 0);
    std::uint64_t v = 0;
    if (digits.size() > 8 || !numbers::ParseUnsigned(digits, 16, 0xFFFFFFFFu, v)) return false;
    *value = static_cast<std::uint32_t>(v);
    return true;
}

void SplitFileAddress(const std::wstring& text, std::wstring* path, bool* hasAddress, std::uint32_t* address) {
    const std::size_t at = text.rfind(L'@');
    std::uint32_t v = 0;
    if (at != std::wstring::npos && ParseAddress(text.substr(at + 1), &v)) {
        *path = text.substr(0, at);
        *hasAddress = true;
        *address = v;
        return;
    }
    *path = text;
    *hasAddress = false;
    *address = 0;
}

bool Options::Given(const wchar_t* name) const {
    for (const std::wstring& g : given)
        if (g == name) return true;
    return false;
}

ParsedArguments ParseArguments(const std::vector<std::wstring>& args) {
    ParsedArguments out;
    Parser parser(out);
    out.ok = parser.Run(args);
    return out;
}

std::wstring CheckOptions(const Options& o) { return CheckCommand(o, false); }

std::vector<std::wstring> SetupArguments(const Options& o) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    const auto hex = [](std::uint32_t v) {
        std::wstring digits;
        do {
            digits.insert(digits.begin(), kDigits[v & 15]);
            v >>= 4;
        } while (v != 0);
        return digits;
    };
    std::vector<std::wstring> args = {L"program"};
    std::wstring ports;
    for (const std::wstring& port : o.ports) ports += (ports.empty() ? L"" : L",") + port;
    if (!ports.empty()) args.insert(args.end(), {L"--port", ports});
    args.insert(args.end(), {L"--part", o.part});
    if (!o.baud.empty()) args.insert(args.end(), {L"--baud", o.baud});
    if (!o.checkrate.empty()) args.insert(args.end(), {L"--checkrate", o.checkrate});
    if (o.optionBitsGiven) args.insert(args.end(), {L"--option-bits", std::to_wstring(o.optionBits)});
    if (o.eraseBySize) args.push_back(L"--erase-by-size");
    if (o.rstnColdReset) args.push_back(L"--rstn-cold-reset");
    for (const FileLoad& load : o.loads) {
        if (load.clearFirst) args.push_back(L"--clear");
        // Always with its address, so that a name ending in "@" and hex
        // digits keeps its whole name.
        args.insert(args.end(),
                    {load.area == Area::Flash ? L"--flash" : L"--eeprom", load.path + L"@" + hex(load.insertOffset)});
    }
    if (o.serial) {
        args.insert(args.end(), {L"--serial-addr", hex(o.serialField.address), L"--serial-width",
                                 std::to_wstring(o.serialField.width), L"--serial-endian",
                                 o.serialField.bigEndian ? L"big" : L"little"});
    }
    for (const image::ChecksumStep& step : o.checksums)
        args.insert(args.end(), {L"--checksum", text::Widen(image::ChecksumStepText(step))});
    return args;
}

const char* UsageHint() { return "Run 'Tarvel_CLI --help' for the commands and options."; }

const char* UsageText() {
    return R"(Tarvel_CLI - program microcontrollers in circuit from scripts, with the
library (Tarvel_DLL.dll) and the image rules of the Tarvel window.

Usage:
  Tarvel_CLI parts   [--json]
  Tarvel_CLI image   --part NAME (--flash FILE[@ADDR] | --eeprom FILE[@ADDR])...
                     [--clear] [--checksum STEP]... [--out FILE] [--eeprom-out FILE] [--json]
  Tarvel_CLI program --port PORT[,PORT...] --part NAME --flash FILE[@ADDR]... [--eeprom FILE[@ADDR]]...
                     [--baud RATE] [--checkrate RATE] [--option-bits N]
                     [--erase-by-size] [--rstn-cold-reset]
                     [--repeat N | --forever] [--keep-going | --stop-on-fail]
                     [--serial-addr ADDR [--serial-start N] [--serial-step N]
                      [--serial-width 1..8] [--serial-endian little|big]
                      [--serial-list FILE] [--serial-state FILE]]
                     [--checksum STEP]...
                     [--log FILE.csv] [--units FILE.csv] [--json] [--progress | --no-progress]
  Tarvel_CLI dump    --port PORT --part NAME [--out FILE] [--json]
  Tarvel_CLI project new --out FILE.tarvel --part NAME --flash FILE[@ADDR]...
                     [--eeprom FILE[@ADDR]]... [--clear] [the set-up options
                     of program: rates, option bits, flags, --serial-...,
                     --checksum STEP, --port COMn[,COMn...], --log FILE.csv]
                     [--name NAME] [--note TEXT] [--lock-password-file FILE]
  Tarvel_CLI project show FILE.tarvel [--json]
  Tarvel_CLI image   --project FILE.tarvel [--out FILE] [--eeprom-out FILE]
                     [--json]
  Tarvel_CLI program --project FILE.tarvel [--port PORT[,PORT...]]
                     [--repeat N | --forever] [...]
  Tarvel_CLI --help | --version

Commands:
  parts     List the parts the library knows: name, families, class, Flash and
            EEPROM bytes, default IAP data address, option bits.
  image     Build the Flash and EEPROM images exactly as the window's Load File
            does, print their size, 16-bit byte sum (the window's CheckSum) and
            CRC-32, and write them to files. No target is needed.
  program   Program one board, or one after another (--repeat, --forever) as
            Repeat Update does, waiting for the next target in between.
  dump      Read the 256-byte information block (parts of class 1 and 2).
  project   new: save a production set-up as a project file (.tarvel).
            show: print a project and check that its files are unchanged.

Ports and rates:
  --port PORT         COM1, COM2, ... (a serial port) or KV707 (the adapter).
                      program: several COM ports (COM3,COM4,... or --port
                      repeated) make a gang, one worker process per port.
  --baud RATE         Download rate, one the window's Baudrate list offers for
                      the port and part: Auto (default), 1200 ... 115200.
  --checkrate RATE    Handshake rate from the Checkrate list (default 9600).
                      Parts of class 1 and 2 run at 115200 only.

Images:
  --flash FILE[@ADDR]   Load a file into the Flash image. Intel HEX, Motorola
  --eeprom FILE[@ADDR]  S-record and ELF are told by their content (a .hex file
                        that is none of them stays HEX), anything else is raw
                        binary. @ADDR (hexadecimal, as
                        in the Select Insert Area dialog) loads at that IAP
                        address, otherwise at 0. Several files merge in the
                        order given, each laid over the ones before.
  --clear               The next file starts from an empty buffer (Clear Buffer).
  --out FILE            image: write the Flash image; dump: write the block.
  --eeprom-out FILE     image: write the EEPROM image. Written as Intel HEX
                        (.hex, .ihx), S-record (.s19, .s28, .s37, .srec, .mot)
                        or binary (any other name).

Programming:
  --option-bits N       Option bits (the MCU Options boxes), bit n = box n.
  --erase-by-size       Erase only as much Flash as the image needs.
  --rstn-cold-reset     External RSTN cold reset.
  --repeat N            Program N boards, one after another (a gang counts
                        the boards of all its ports).
  --forever             Program boards until Ctrl+C.
  --keep-going          Go on with the next board after a failed one (a
                        repeat run otherwise ends at the first failure; in
                        a gang, a failed board ends its own port only).
  --stop-on-fail        Gang: the first failed board ends the run on every
                        port (boards already programming finish).
  Ctrl+C                Asks the library to stop; the running board ends with
                        Stop, then the summary follows. A second Ctrl+C quits
                        at once.

Serial numbers (written into each board's copy of the Flash image):
  --serial-addr ADDR    Address of the field (hexadecimal); it must lie inside
                        the part's Flash. Past the end of the loaded image,
                        the image is extended with 0xFF up to the field.
  --serial-start N      Number of the first board (default 1).
  --serial-step N       Added for every board that passes (default 1); a
                        failed board's number goes to the next board.
  --serial-width W      Field width in bytes, 1 to 8 (default 4).
  --serial-endian E     little (default) or big.
  --serial-list FILE    Take the values from FILE, one a line, in order:
                        decimal or 0x numbers, or byte strings such as the
                        MAC address 00:1A:2B:3C:4D:5E (written in the order
                        given; as many bytes as --serial-width).
  --serial-state FILE   Keep the next number and the numbers in flight in
                        FILE, flushed to disk before a number goes into a
                        board. A later run continues from it (it wins over
                        --serial-start); a number that was in flight when the
                        programmer died is never given again. One program at
                        a time may use a state file.
  --serial-db "CONNECTION"
                        Take the numbers from the shared database named by an
                        ODBC connection string ("DSN=line1" or
                        "Driver={...};Server=...;Database=...;Uid=..."), one
                        series for every station of a line; the other
                        --serial options describe a series that is not there
                        yet (a list is loaded once). --serial-state is the
                        station's own journal. Without the database no board
                        is programmed; the run goes on when it is back.
  --serial-series NAME  The series (letters, digits and -_.).
  --serial-db-password-file FILE
                        The password, the first line of FILE, added to the
                        connection when it is made; never printed or kept.
  Numbers N are decimal, or hexadecimal with 0x.

Checksums (written into the Flash image; image and program):
  --checksum ALG:START-END@ADDR[:big|:little]
                        Compute ALG over the Flash bytes START to END (END
                        included) and store it at ADDR, little-endian unless
                        :big is given; addresses hexadecimal. ALG: crc32,
                        crc32c, crc16-ccitt-false, crc16-xmodem,
                        crc16-modbus, sum8, sum16, sum8-twos (the byte that
                        makes the range plus itself add to 0). The range and
                        the value lie inside the part's Flash and apart; past
                        the end of the loaded image, the image is extended
                        with 0xFF. Several steps run in the order given. With
                        serial numbers each board's image gets its number
                        first and its checksums second.

Output:
  One line per board (time, board, serial, outcome, seconds) and a summary
  (passed, failed, boards per hour). A progress bar, or the re-power prompt
  while the library waits for a target, on a console.
  --json                Print JSON Lines instead: one object per board (or
                        part, image, dump) and one summary object.
  --log FILE            Append the board and summary records to a CSV file,
                        flushed after every board.
  --units FILE          Append the record of every unit (time, station,
                        operator, project, port, serial, image CRC-32,
                        outcome, seconds) to a CSV file, flushed after every
                        board, as the window's units.csv.
  --events              With --json: a record for every change of a port's
                        state (port_state), for a program that shows them.
  --control             Take commands on the standard input, one a line:
                        stop (every port's board ends, then the summary),
                        retry (ports that were lost are taken again),
                        reset-counters (a reset record in --units).
  --progress            Print progress as plain lines on the error output
                        even when it is not a console; --no-progress: none.

Projects:
  project new takes the options of program that describe the set-up (part,
  rates, files, --clear, option bits, the two flags, serial numbers,
  checksum steps, COM ports, log) and writes them, in one step, to the project file --out
  names, with each file's size and CRC-32 and the images' size and CRC-32.
  A path inside the project file's folder is kept relative to it, any
  other one whole; --serial-state and --log must lie in that folder or
  below it. --port takes COM ports only (KV707 is named when it runs).
  --name NAME           The project's name (default: the file's name
                        without its extension).
  --note TEXT           A free text kept with the project.
  --lock-password-file FILE
                        Lock the project with the password on the first
                        line of FILE (only a salted hash of it is kept).
  --project FILE        image, program: run the project's set-up. Its files
                        are read from where it names them and must hold what
                        they held when it was saved, and the images built
                        from them must be the saved ones; otherwise exit 3
                        and nothing is programmed. Its ports, serial
                        numbers, state file and log are used unless the
                        command line names its own. --flash, --eeprom and
                        --clear are refused with it: the files are the
                        project's. Other set-up options given with it
                        replace the project's values, unless it is locked;
                        --checksum replaces the project's whole list of
                        steps.
  A locked project refuses every option that changes the set-up (exit 2).
  Free with it: --port, --repeat, --forever, --keep-going, --stop-on-fail,
  --out, --eeprom-out, --log, --json, --progress, --no-progress. The lock
  guards against mistakes at the station, not against someone who edits
  the project file; to change a locked set-up, save a new project.

Exit codes:
  0  every board passed (or the command did its job)
  1  a board or the dump failed (a result other than Pass or Stop)
  2  usage error: unknown option or command, missing value, unknown part,
     port name or rate, serial field or list that does not fit, serial
     state file held by another program, an option a locked project
     refuses, a checksum step that is malformed or does not fit the
     part, a file project new would write outside the project's folder
  3  file error: Open file error, HEX file error, File is too large !, an
     output or log file that cannot be written, a project file that cannot
     be read (naming the field), a file of a project that changed or is
     missing, images that are not the ones the project was saved with
  4  Tarvel_DLL.dll missing beside Tarvel_CLI.exe, lacking an operation, or
     listing no parts
  5  the port does not exist, is busy, or the library could not open it
  6  stopped with Ctrl+C (no board failed)
  7  serial numbers used up: the list or the field has no value left for
     the next board
)";
}

}  // namespace cli
