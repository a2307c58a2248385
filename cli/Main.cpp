// Tarvel_CLI.exe: the console programmer that ships beside Tarvel_AP.exe. It
// loads the same Tarvel_DLL.dll from its own folder through the same
// binding, builds images with the same image core and the window's load
// rules, and runs the library's operations the way the window's jobs do.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/ByteSum.h"
#include "cli/Arguments.h"
#include "cli/Console.h"
#include "image/Crc32.h"
#include "cli/ExitCodes.h"
#include "buffers/FirmwareFile.h"
#include "cli/Files.h"
#include "cli/Gang.h"
#include "cli/ImageBuffer.h"
#include "cli/Job.h"
#include "cli/JsonLine.h"
#include "cli/Listing.h"
#include "cli/PartChoice.h"
#include "cli/Records.h"
#include "cli/RunRecords.h"
#include "cli/SerialNumber.h"
#include "cli/SerialRun.h"
#include "cli/Text.h"
#include "framework/Handles.h"
#include "isp/IspRecords.h"
#include "isp/Outcome.h"
#include "isp/PortLink.h"
#include "isp/RateTable.h"
#include "isp/TarvelDll.h"
#include "text/UiText.h"
#include "update/VersionText.h"

namespace cli {
namespace {

constexpr const char* kVersion = "1.0.0.0";

std::wstring Hex8(std::uint32_t v) { return Widen(HexText(v, 8)); }

// The library and its parts table.
struct Library {
    isp::TarvelDll dll;
    isp::BodyInfo* table = nullptr;
    std::uint32_t count = 0;
};

int LoadLibrary(Library& lib) {
    const std::wstring folder = isp::ModuleFolder();
    std::wstring missing;
    if (!lib.dll.Load(folder, &missing)) {
        const DWORD error = ::GetLastError();
        const std::wstring path = folder + L"Tarvel_DLL.dll";
        if (missing == path) {
            if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
                return Fail(kExitLibrary, L"Tarvel_DLL.dll not found beside Tarvel_CLI.exe (" + path + L")");
            return Fail(kExitLibrary, L"Tarvel_DLL.dll cannot be loaded (" + SystemMessage(error) + L"): " + path);
        }
        return Fail(kExitLibrary, missing + L" missing: this library lacks operations the programmer needs");
    }
    lib.count = lib.dll.GetBodyInfo(&lib.table);
    if (lib.count == 0 || lib.table == nullptr) return Fail(kExitLibrary, L"Tarvel_DLL.dll lists no parts");
    return kExitOk;
}

int ChoosePart(const Library& lib, const Options& o, std::int32_t* index, LinkSettings* link) {
    *index = FindPart(lib.table, lib.count, o.part);
    if (*index < 0)
        return Fail(kExitUsage, L"unknown part '" + o.part + L"' (Tarvel_CLI parts lists the library's parts)");
    const std::wstring why = CheckChoices(o, lib.table[*index], link);
    if (!why.empty()) return Fail(kExitUsage, why);
    return kExitOk;
}

// What every command but "parts" starts with: the library and the part the
// options name, with its link settings.
int LoadLibraryAndPart(const Options& o, Library& lib, std::int32_t* index, LinkSettings* link) {
    if (const int rc = LoadLibrary(lib)) return rc;
    return ChoosePart(lib, o, index, link);
}

// Loads every --flash and --eeprom file in order, as Load File would.
int BuildImages(const Options& o, const isp::BodyInfo& part, ImageBuffer& flash, ImageBuffer& eeprom) {
    const std::wstring partName = part.PartName ? part.PartName : L"";
    for (const FileLoad& load : o.loads) {
        ImageBuffer& buffer = load.area == Area::Flash ? flash : eeprom;
        const wchar_t* areaName = load.area == Area::Flash ? L"Flash" : L"EEPROM";
        const std::wstring fits = L"does not fit " + partName + L"'s " + areaName + L" (" +
                                  std::to_wstring(buffer.Capacity()) + L" bytes) from 0x" + Hex8(load.insertOffset);
        WinFileOpener opener;
        const image::FileLoadOutcome loaded = buffer.LoadFile(opener, load.path, load.insertOffset, load.clearFirst);
        switch (loaded.status) {
        case image::FileLoadStatus::Ok: break;
        case image::FileLoadStatus::OpenError:
        case image::FileLoadStatus::ReadError:
            return Fail(kExitFile, LoadErrorText(loaded.status) + L": " + load.path + L" (" +
                                       SystemMessage(loaded.systemError) + L")");
        case image::FileLoadStatus::TooLarge:
            return Fail(kExitFile, LoadErrorText(loaded.status) + L" " + load.path + L" " + fits);
        case image::FileLoadStatus::HexError:
        case image::FileLoadStatus::FormatError:
            return Fail(kExitFile, LoadErrorText(loaded.status) + L": " + load.path);
        }
    }
    return kExitOk;
}

bool HasArea(const Options& o, Area area) {
    for (const FileLoad& l : o.loads)
        if (l.area == area) return true;
    return false;
}

// ---------------------------------------------------------------- parts

int RunParts(const Options& o) {
    Library lib;
    if (const int rc = LoadLibrary(lib)) return rc;
    const std::vector<std::string> lines =
        o.json ? PartsTableJson(lib.table, lib.count) : PartsTableText(lib.table, lib.count);
    for (const std::string& line : lines) Out().Line(line);
    return kExitOk;
}

// ---------------------------------------------------------------- image

int RunImage(const Options& o) {
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    const isp::BodyInfo& part = lib.table[index];
    ImageBuffer flash(part.CodeCapacity), eeprom(part.DataCapacity);
    if (const int rc = BuildImages(o, part, flash, eeprom)) return rc;

    struct Output {
        const char* area;
        const ImageBuffer* buffer;
        const std::wstring* file;
        bool loaded;
    };
    const Output outputs[] = {{"flash", &flash, &o.out, HasArea(o, Area::Flash)},
                              {"eeprom", &eeprom, &o.eepromOut, HasArea(o, Area::Eeprom)}};
    for (const Output& out : outputs) {
        if (!out.file->empty()) {
            if (!out.loaded)
                return Fail(kExitUsage, L"no " + Widen(out.area) + L" file was given to write to " + *out.file);
            const std::wstring why = WriteWholeFile(*out.file, out.buffer->Content());
            if (!why.empty()) return Fail(kExitFile, L"cannot write " + *out.file + L": " + why);
        }
    }
    for (const Output& out : outputs) {
        if (!out.loaded) continue;
        const ImageFigures f = Figures(out.area, out.buffer->Content(), Utf8(*out.file));
        Out().Line(o.json ? FiguresJson(f) : FiguresLine(f));
    }
    return kExitOk;
}

// ---------------------------------------------------------------- the link

// An open link: the COM handle (when the port is a COM port) and the
// library's side of it. ClosePort runs before the handle is closed.
class LinkSession {
public:
    LinkSession() = default;
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;
    ~LinkSession() {
        if (open_) library_->ClosePort(param_);
    }

    int Open(const isp::TarvelDll& library, isp::IspParam* param, const LinkSettings& link) {
        if (link.port.com) {
            handle_.reset(::CreateFileW(ComDeviceName(link.port.name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!handle_) {
                const DWORD error = ::GetLastError();
                if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                    return Fail(kExitPort, link.port.name + L" does not exist on this computer");
                // Windows opens a COM port for one program at a time; the
                // next one is refused with "access denied".
                if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                    return Fail(kExitPort, link.port.name + L" is in use by another program (" +
                                               SystemMessage(error) + L")");
                return Fail(kExitPort, L"cannot open " + link.port.name + L": " + SystemMessage(error));
            }
            param->PortType = isp::kPortCom;
            param->PortHandle = handle_.get();
        } else {
            param->PortType = isp::kPortKV707;
            param->PortHandle = nullptr;
        }
        const std::uint16_t rc = library.OpenPort(param);
        if (rc != isp::kPass)
            return Fail(kExitPort, L"the library could not open the link on " + link.port.name + L" (result " +
                                       std::to_wstring(rc) + L")");
        library_ = &library;
        param_ = param;
        open_ = true;
        return kExitOk;
    }

    // True when a COM port no longer answers as one: the adapter was pulled
    // or its driver went away, and the handle only fails from now on.
    bool Lost() const { return handle_ && isp::ComPortLost(handle_.get()); }

private:
    UniqueHandle handle_;  // destroyed after the destructor's ClosePort
    const isp::TarvelDll* library_ = nullptr;
    isp::IspParam* param_ = nullptr;
    bool open_ = false;
};

// The record a command hands to the library, with its status word and stop
// request, for the chosen part at the chosen rates. While it exists a console
// close waits for the running board to end and its records to be written.
struct LibraryRecord {
    LibraryRecord(std::int32_t partIndex, const LinkSettings& link) {
        param.PartIndex = partIndex;
        param.CheckRate = link.checkRate;
        param.BaudRate = link.baudRate;
        param.StatusCell = &status;
        param.StopCell = &stop;
    }
    LibraryRecord(const LibraryRecord&) = delete;
    LibraryRecord& operator=(const LibraryRecord&) = delete;

    const CloseGuard holdClose;
    isp::StatusWord status{isp::kStatusWaitingForTarget};
    isp::StopRequest stop{0};
    isp::IspParam param{};
};

std::string OutcomeText(isp::JobKind kind, std::uint16_t code) {
    const int id = isp::OutcomeTextId(kind, code);
    return id < 0 ? std::string() : Utf8(LangText(static_cast<texts::TextId>(id), 0));
}

// ---------------------------------------------------------------- program

// The Flash image a program run writes, with room for the serial field, and
// the EEPROM image; checks that the serial numbers fit before any board.
int PrepareImages(const Options& o, const isp::BodyInfo& part, ImageBuffer& eeprom, std::vector<std::uint8_t>* code,
                  bool* extended) {
    ImageBuffer flash(part.CodeCapacity);
    if (const int rc = BuildImages(o, part, flash, eeprom)) return rc;
    *code = flash.Content();
    if (code->empty()) return Fail(kExitFile, L"the Flash image is empty: nothing to program");
    *extended = false;
    if (o.serial) {
        const SerialProblem problem = CheckField(o.serialField, part.CodeCapacity);
        if (problem != SerialProblem::None)
            return Fail(kExitUsage, Widen(DescribeProblem(problem, o.serialField, part.CodeCapacity)));
        *extended = ExtendForField(*code, o.serialField);
        std::uint64_t last = 0;
        const std::uint64_t lastIndex = o.forever ? 0 : o.repeat - 1;
        // A state file or a list decides the numbers itself; running out is
        // then found at the board that finds none.
        const bool plainSequence = o.serialState.empty() && o.serialList.empty();
        if (plainSequence && !NthSerial(o.serialStart, o.serialStep, lastIndex, o.serialField.width, &last))
            return Fail(kExitUsage, L"serial numbers from " + std::to_wstring(o.serialStart) + L" in steps of " +
                                        std::to_wstring(o.serialStep) + L" do not fit " +
                                        std::to_wstring(o.serialField.width) + L" bytes" +
                                        (o.forever ? L"" : L" for " + std::to_wstring(o.repeat) + L" boards"));
    }
    return kExitOk;
}

int RunProgram(const Options& o) {
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    const isp::BodyInfo& part = lib.table[index];
    ImageBuffer eeprom(part.DataCapacity);
    std::vector<std::uint8_t> code;
    bool extended = false;
    if (const int rc = PrepareImages(o, part, eeprom, &code, &extended)) return rc;

    SerialRun serials;
    CsvLog log;
    if (const int rc = StartRunRecords(o, false, serials, log)) return rc;

    LibraryRecord request(index, link);
    isp::IspParam& param = request.param;
    param.OptionBits = o.optionBits;
    param.SetupFlags = static_cast<std::uint8_t>((o.eraseBySize ? 1u : 0u) | (o.rstnColdReset ? 2u : 0u));

    LinkSession session;
    if (const int rc = session.Open(lib.dll, &param, link)) return rc;

    SummaryRecord summary;
    summary.flashSize = static_cast<std::uint32_t>(code.size());
    summary.flashChecksum = image::ByteSum16(code.data(), code.size());
    summary.flashCrc = image::Crc32(code.data(), code.size());
    if (!o.json) {
        Out().Line(Utf8(L"Part " + std::wstring(part.PartName) + L" on " + link.port.name + L", baud " +
                        link.baudText + L", checkrate " + link.checkText));
        if (extended)
            Out().Line("Flash image extended with 0xFF to " + std::to_string(code.size()) + " bytes for the serial field");
        Out().Line(FiguresLine(Figures("flash", code, "")));
        if (HasArea(o, Area::Eeprom)) Out().Line(FiguresLine(Figures("eeprom", eeprom.Content(), "")));
    }

    ProgressDisplay display(o.progress, Err());
    bool serialsUsedUp = false, fileFailed = false;
    const double runStarted = Now();
    double runEnded = runStarted;
    for (std::uint64_t board = 1; o.forever || board <= o.repeat; ++board) {
        if (StopRequested()) break;
        BoardRecord record;
        record.board = board;
        SerialValue serial;
        if (o.serial) {
            std::string why;
            const SerialBook::Taken taken = serials.Book().Take(&serial, &why);
            if (taken == SerialBook::Taken::RanOut) {
                serialsUsedUp = true;
                Fail(kExitSerialsUsedUp, o.serialList.empty()
                                             ? L"serial numbers used up: the next one does not fit " +
                                                   std::to_wstring(o.serialField.width) + L" bytes"
                                             : L"serial numbers used up: no value left in " + o.serialList);
                break;
            }
            if (taken == SerialBook::Taken::JournalFailed) {
                Fail(kExitFile, L"cannot write the serial state file " + o.serialState + L": " + Widen(why) +
                                    L"; no further board is started");
                fileFailed = true;
                break;
            }
            record.hasSerial = true;
            record.serial = serial.number;
            if (serial.isBytes) record.serialText = serial.Text();
        }
        const double boardStarted = Now();
        // Each board gets a fresh copy, with its own serial written in.
        std::vector<std::uint8_t> codeCopy = code;
        std::vector<std::uint8_t> dataCopy = eeprom.Content();
        if (record.hasSerial) WriteSerialValue(codeCopy.data(), o.serialField, serial);
        param.CodeImage = codeCopy.data();
        param.CodeSize = static_cast<std::int32_t>(codeCopy.size());
        param.DataImage = dataCopy.empty() ? nullptr : dataCopy.data();
        param.DataSize = static_cast<std::int32_t>(dataCopy.size());

        const JobResult job =
            RunJob(lib.dll, Operation::Update, &param, display, [&session] { return session.Lost(); });
        if (job.threadFailed) {
            Fail(kExitBoardFailed, L"no worker thread could be started: " + SystemMessage(::GetLastError()));
            ++summary.failed;
            break;
        }
        record.code = job.code;
        record.outcome = OutcomeText(isp::JobKind::Update, job.code);
        record.librarySeconds = job.librarySeconds;
        record.waitSeconds = job.waitSeconds;
        record.time = NowStamp();
        record.seconds = Now() - boardStarted;
        Out().Line(o.json ? BoardJson(record) : BoardLine(record));
        if (log.IsOpen()) {
            std::wstring why;
            if (!log.Append(BoardCsv(record), &why)) {
                Fail(kExitFile, L"cannot write the log " + o.log + L": " + why + L"; no further board is started");
                fileFailed = true;
            }
        }
        if (record.hasSerial) {
            // A passed board keeps its number; any other gives it back.
            std::string why;
            const bool kept = job.code == isp::kPass ? serials.Book().Passed(serial, &why)
                                                     : serials.Book().Failed(serial, &why);
            if (!kept && !fileFailed) {
                Fail(kExitFile, L"cannot write the serial state file " + o.serialState + L": " + Widen(why) +
                                    L"; no further board is started");
                fileFailed = true;
            }
        }
        // A failed board on a port that is gone: say so by name, and start
        // no further board on it.
        const bool portLost = job.portLost || (job.code != isp::kPass && job.code != isp::kStop && session.Lost());
        if (portLost)
            Fail(kExitBoardFailed, link.port.name + L" was lost during board " + std::to_wstring(board) +
                                       L" (adapter unplugged or port closed); no further board is started");
        runEnded = Now();
        ++summary.boards;
        if (job.code == isp::kPass) {
            ++summary.passed;
        } else if (job.code == isp::kStop && !portLost) {
            summary.stopped = 1;
            break;
        } else {
            ++summary.failed;
            if (!o.keepGoing || portLost) break;
        }
        if (fileFailed) break;
    }

    summary.time = NowStamp();
    summary.seconds = runEnded - runStarted;
    summary.boardsPerHour = BoardsPerHour(summary.passed, summary.seconds);
    if (StopRequested()) summary.stopped = 1;
    summary.exitCode = fileFailed ? kExitFile
                       : summary.failed != 0 ? kExitBoardFailed
                       : serialsUsedUp ? kExitSerialsUsedUp
                       : summary.stopped != 0 ? kExitStopped
                       : kExitOk;
    Out().Line(o.json ? SummaryJson(summary) : SummaryLine(summary));
    if (log.IsOpen() && !fileFailed) {
        std::wstring why;
        if (!log.Append(SummaryCsv(summary), &why)) {
            Fail(kExitFile, L"cannot write the log " + o.log + L": " + why);
            return kExitFile;
        }
    }
    return summary.exitCode;
}

// ---------------------------------------------------------------- gang

// The parent of a gang: the image is built once here; Gang.cpp runs the
// workers.
int RunGangProgram(const Options& o, const std::vector<std::wstring>& args) {
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    const isp::BodyInfo& part = lib.table[index];
    ImageBuffer eeprom(part.DataCapacity);
    GangImage image;
    bool extended = false;
    if (const int rc = PrepareImages(o, part, eeprom, &image.code, &extended)) return rc;
    image.data = eeprom.Content();
    image.codeChecksum = image::ByteSum16(image.code.data(), image.code.size());
    image.codeCrc = image::Crc32(image.code.data(), image.code.size());
    std::wstring names;
    for (const std::wstring& n : o.ports) names += (names.empty() ? L"" : L", ") + n;
    image.header.push_back(Utf8(L"Part " + std::wstring(part.PartName) + L" on " + names + L", baud " +
                                link.baudText + L", checkrate " + link.checkText));
    if (extended)
        image.header.push_back("Flash image extended with 0xFF to " + std::to_string(image.code.size()) +
                               " bytes for the serial field");
    image.header.push_back(FiguresLine(Figures("flash", image.code, "")));
    if (HasArea(o, Area::Eeprom)) image.header.push_back(FiguresLine(Figures("eeprom", image.data, "")));
    return RunGang(o, args, image);
}

// A gang's worker: one port, the images the parent wrote, boards as the
// parent sends them.
int RunGangWorker(const std::vector<std::wstring>& args) {
    WorkerArguments w;
    if (!SplitWorkerArguments(args, &w)) return Fail(kExitUsage, L"--worker: PORT CODE DATA expected");
    const ParsedArguments parsed = ParseArguments(w.rest);
    if (!parsed.ok) return Fail(kExitUsage, parsed.error);
    Options o = parsed.options;
    o.port = w.port;
    o.ports.assign(1, w.port);
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    std::vector<std::uint8_t> code, data;
    if (!ReadGangImages(w, &code, &data)) return Fail(kExitFile, L"the gang's image files cannot be read");

    LibraryRecord request(index, link);
    isp::IspParam& param = request.param;
    param.OptionBits = o.optionBits;
    param.SetupFlags = static_cast<std::uint8_t>((o.eraseBySize ? 1u : 0u) | (o.rstnColdReset ? 2u : 0u));
    LinkSession session;
    if (const int rc = session.Open(lib.dll, &param, link)) return rc;
    ProgressDisplay display(ProgressMode::None, Err());
    return ServeGang(o.serialField, code, data,
                     [&](std::vector<std::uint8_t>& codeCopy, std::vector<std::uint8_t>& dataCopy,
                         const std::function<void(std::uint16_t)>& report) {
                         param.CodeImage = codeCopy.data();
                         param.CodeSize = static_cast<std::int32_t>(codeCopy.size());
                         param.DataImage = dataCopy.empty() ? nullptr : dataCopy.data();
                         param.DataSize = static_cast<std::int32_t>(dataCopy.size());
                         // The port check runs every quarter second: the
                         // parent's table hears the status word as often.
                         const JobResult job = RunJob(lib.dll, Operation::Update, &param, display, [&] {
                             report(param.StatusCell->load());
                             return session.Lost();
                         });
                         WorkerBoard board;
                         board.code = job.threadFailed ? static_cast<std::uint16_t>(isp::kNotFindDevice) : job.code;
                         board.librarySeconds = job.librarySeconds;
                         board.waitSeconds = job.waitSeconds;
                         board.portLost =
                             job.portLost || (job.code != isp::kPass && job.code != isp::kStop && session.Lost());
                         return board;
                     });
}

// ---------------------------------------------------------------- dump

int RunDump(const Options& o) {
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;

    LibraryRecord request(index, link);
    isp::IspParam& param = request.param;
    std::vector<std::uint8_t> block(256, 0);
    param.CodeImage = block.data();
    param.CodeSize = static_cast<std::int32_t>(block.size());

    LinkSession session;
    if (const int rc = session.Open(lib.dll, &param, link)) return rc;
    if (StopRequested()) return Fail(kExitStopped, L"stopped before the block was read");
    ProgressDisplay display(o.progress, Err());
    const double started = Now();
    const JobResult job = RunJob(lib.dll, Operation::Dump, &param, display);
    if (job.threadFailed) return Fail(kExitBoardFailed, L"no worker thread could be started");
    const double seconds = Now() - started;
    const std::string outcome = OutcomeText(isp::JobKind::Dump, job.code);
    const int exitCode = job.code == isp::kPass ? kExitOk : job.code == isp::kStop ? kExitStopped : kExitBoardFailed;

    if (job.code == isp::kPass && !o.out.empty()) {
        const std::wstring why = WriteWholeFile(o.out, block);
        if (!why.empty()) return Fail(kExitFile, L"cannot write " + o.out + L": " + why);
    }
    if (o.json) {
        JsonObject j;
        j["record"] = "dump";
        j["time"] = NowStamp();
        j["code"] = job.code;
        j["outcome"] = outcome;
        j["seconds"] = Rounded(seconds, 3);
        if (job.code == isp::kPass) {
            std::string hex;
            for (std::uint8_t b : block) hex += HexText(b, 2);
            j["bytes"] = hex;
        } else {
            j["bytes"] = nullptr;
        }
        j["file"] = o.out.empty() || job.code != isp::kPass ? JsonObject(nullptr) : JsonObject(Utf8(o.out));
        Out().Line(JsonLine(j));
    } else {
        Out().Line("Dump Info  " + OutcomeLabel(job.code, outcome) + "  [" + Fixed(seconds, 3) + " s]");
        if (job.code == isp::kPass) {
            if (o.out.empty()) {
                for (const std::string& line : HexDumpLines(block.data(), block.size())) Out().Line(line);
            } else {
                Out().Line("256 bytes -> " + Utf8(o.out));
            }
        }
    }
    return exitCode;
}

int RunVersion() {
    std::string line = std::string("Tarvel_CLI ") + kVersion;
    isp::TarvelDll dll;
    std::wstring missing;
    if (dll.Load(isp::ModuleFolder(), &missing))
        line += ", Tarvel_DLL " + Utf8(version::Dotted(dll.Version()));
    else
        line += ", Tarvel_DLL not available";
    Out().Line(line);
    return kExitOk;
}

}  // namespace
}  // namespace cli

int wmain(int argc, wchar_t** argv) {
    using namespace cli;
    InstallStopHandler();
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    if (!args.empty() && args[0] == L"--worker") return RunGangWorker(args);
    const ParsedArguments parsed = ParseArguments(args);
    if (!parsed.ok) {
        Fail(kExitUsage, parsed.error);
        Err().Line(UsageHint());
        return kExitUsage;
    }
    const Options& o = parsed.options;
    switch (o.command) {
    case Command::Help: Out().Write(UsageText()); return kExitOk;
    case Command::Version: return RunVersion();
    case Command::Parts: return RunParts(o);
    case Command::Image: return RunImage(o);
    case Command::Program: return o.ports.size() > 1 ? RunGangProgram(o, args) : RunProgram(o);
    case Command::Dump: return RunDump(o);
    }
    return kExitUsage;
}
