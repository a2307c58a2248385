// Tarvel_CLI.exe: the console programmer that ships beside Tarvel_AP.exe. It
// loads the same Tarvel_DLL.dll from its own folder through the same
// binding, builds images with the same image core and the window's load
// rules, and runs the library's operations the way the window's jobs do.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/BoardImage.h"
#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/JsonLine.h"
#include "cli/Library.h"
#include "cli/Listing.h"
#include "cli/LocalBoard.h"
#include "cli/Program.h"
#include "cli/ProjectCommands.h"
#include "cli/Records.h"
#include "cli/StopKey.h"
#include "cli/Text.h"
#include "update/VersionText.h"

namespace cli {
namespace {

constexpr const char* kVersion = "1.0.0.0";

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

// run: the project of image --project, null without one.
int RunImage(const Options& o, const ProjectRun* run) {
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    const isp::BodyInfo& part = lib.table[index];
    ImageBuffer flash(part.CodeCapacity), eeprom(part.DataCapacity);
    if (const int rc = BuildImages(o, part, flash, eeprom)) return rc;
    if (run != nullptr) {
        if (const int rc = CheckProjectImages(*run, flash.Content(), eeprom.Content())) return rc;
    }
    // The Flash image with the checksum steps run over it.
    std::vector<std::uint8_t> code = flash.Content();
    std::vector<image::ChecksumValue> checksums;
    if (!o.checksums.empty()) {
        if (!HasArea(o, Area::Flash))
            return Fail(kExitUsage, L"--checksum: no Flash file was given to compute it over");
        const std::wstring why = ChecksumStepsProblem(o.checksums, part.CodeCapacity, nullptr);
        if (!why.empty()) return Fail(kExitUsage, why);
        const std::string failed = image::ApplyChecksums(code, part.CodeCapacity, o.checksums, &checksums);
        if (!failed.empty()) return Fail(kExitUsage, L"--checksum " + Widen(failed));
    }

    struct Output {
        const char* area;
        const std::vector<std::uint8_t>* bytes;
        const std::wstring* file;
        bool loaded;
    };
    const Output outputs[] = {{"flash", &code, &o.out, HasArea(o, Area::Flash)},
                              {"eeprom", &eeprom.Content(), &o.eepromOut, HasArea(o, Area::Eeprom)}};
    for (const Output& out : outputs) {
        if (!out.file->empty()) {
            if (!out.loaded)
                return Fail(kExitUsage, L"no " + Widen(out.area) + L" file was given to write to " + *out.file);
            const std::wstring why = WriteWholeFile(*out.file, *out.bytes);
            if (!why.empty()) return Fail(kExitFile, L"cannot write " + *out.file + L": " + why);
        }
    }
    for (const Output& out : outputs) {
        if (!out.loaded) continue;
        ImageFigures f = Figures(out.area, *out.bytes, Utf8(*out.file));
        if (out.bytes == &code) f.checksums = ChecksumRecordTexts(checksums);
        Out().Line(o.json ? FiguresJson(f) : FiguresLine(f));
    }
    return kExitOk;
}

// ---------------------------------------------------------------- dump

// The console's side of the read-back: the prompt while the library waits
// for a target, and Ctrl+C passed on as the stop request.
class DumpWatch final : public isp::CallObserver {
public:
    DumpWatch(LocalBoard& board, ProgressMode mode) : board_(board), display_(mode, Err()) { display_.Start(); }
    ~DumpWatch() { display_.Clear(); }
    DumpWatch(const DumpWatch&) = delete;
    DumpWatch& operator=(const DumpWatch&) = delete;

    DWORD OnStatus(std::uint16_t status) override {
        if (StopRequested() && !stopAsked_) {
            stopAsked_ = true;
            board_.StopBoard();
            display_.Clear();
            Err().Line("Ctrl+C: asking the library to stop (Ctrl+C again quits at once)");
        }
        display_.Show(status);
        // Often enough for a smooth prompt, rarely enough to cost nothing.
        return 25;
    }

private:
    LocalBoard& board_;
    ProgressDisplay display_;
    bool stopAsked_ = false;
};

int RunDump(const Options& o) {
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    // A console close waits for the read-back and its record.
    const CloseGuard holdClose;
    BoardSetup setup;
    setup.partIndex = index;
    setup.link = link;
    LocalBoard board(lib.dll, std::move(setup));
    if (const int rc = board.Open()) return rc;
    if (StopRequested()) return Fail(kExitStopped, L"stopped before the block was read");

    std::vector<std::uint8_t> block(256, 0);
    const double started = isp::SecondsNow();
    isp::CallResult job;
    {
        DumpWatch watch(board, o.progress);
        job = board.Dump(block, watch);
    }
    if (job.threadFailed) return Fail(kExitBoardFailed, L"no worker thread could be started");
    const double seconds = isp::SecondsNow() - started;
    const std::string outcome = OutcomeText(isp::JobKind::Dump, job.code);
    const bool lost = job.portLost && job.code != isp::kPass;
    if (lost)
        Fail(kExitBoardFailed, link.port.name + L" was lost during the read-back (adapter unplugged or port closed)");
    const int exitCode = job.code == isp::kPass            ? kExitOk
                         : job.code == isp::kStop && !lost ? kExitStopped
                                                           : kExitBoardFailed;

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

// image and program, with a project or without.
int RunImageOrProgram(const Options& o) {
    if (o.project.empty()) return o.command == Command::Image ? RunImage(o, nullptr) : RunProgram(o, nullptr);
    Options merged;
    ProjectRun run;
    if (const int rc = OpenProjectRun(o, &merged, &run)) return rc;
    return o.command == Command::Image ? RunImage(merged, &run) : RunProgram(merged, &run);
}

int RunVersion() {
    std::string line = std::string("Tarvel_CLI ") + kVersion;
    isp::TarvelDll dll;
    std::wstring missing;
    if (dll.Load(isp::ModuleFolder(), &missing)) line += ", Tarvel_DLL " + Utf8(version::Dotted(dll.Version()));
    else line += ", Tarvel_DLL not available";
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
    case Command::Image:
    case Command::Program: return RunImageOrProgram(o);
    case Command::Dump: return RunDump(o);
    case Command::ProjectNew: return RunProjectNew(o);
    case Command::ProjectShow: return RunProjectShow(o);
    }
    return kExitUsage;
}
