#include "cli/Program.h"

#include <windows.h>

#include <memory>

#include "cli/BoardImage.h"
#include "cli/BoardLoop.h"
#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/Library.h"
#include "cli/Listing.h"
#include "cli/LocalBoard.h"
#include "cli/RunRecords.h"
#include "cli/SerialNumber.h"
#include "cli/SerialRun.h"
#include "cli/StopKey.h"
#include "cli/Text.h"
#include "cli/WorkerProcess.h"
#include "cli/WorkerSide.h"
#include "framework/FileRead.h"
#include "image/ByteSum.h"
#include "image/Crc32.h"
#include "run/Station.h"

namespace cli {
namespace {

// The images every board is programmed with: the Flash image with room for
// the serial field (extended says it grew for it) and the EEPROM image.
struct RunImages {
    std::vector<std::uint8_t> code, data;
    bool extended = false;
    std::vector<image::ChecksumValue> checksums;  // the steps run once, without serial numbers
};

// Builds the images (a project's must be the ones it was saved with) and
// checks that the serial numbers fit before any board.
int PrepareImages(const Options& o, const isp::BodyInfo& part, const ProjectRun* run, RunImages* images) {
    ImageBuffer flash(part.CodeCapacity), eeprom(part.DataCapacity);
    if (const int rc = BuildImages(o, part, flash, eeprom)) return rc;
    if (run != nullptr) {
        if (const int rc = CheckProjectImages(*run, flash.Content(), eeprom.Content())) return rc;
    }
    images->code = flash.Content();
    images->data = eeprom.Content();
    if (images->code.empty()) return Fail(kExitFile, L"the Flash image is empty: nothing to program");
    images->extended = false;
    if (o.serial) {
        const SerialProblem problem = CheckField(o.serialField, part.CodeCapacity);
        if (problem != SerialProblem::None)
            return Fail(kExitUsage, Widen(DescribeProblem(problem, o.serialField, part.CodeCapacity)));
        images->extended = ExtendForField(images->code, o.serialField);
        std::uint64_t last = 0;
        const std::uint64_t lastIndex = o.forever ? 0 : o.repeat - 1;
        // A state file or a list decides the numbers itself; running out is
        // then found at the board that finds none.
        const bool plainSequence = o.serialState.empty() && o.serialList.empty() && o.serialDb.empty();
        if (plainSequence && !NthSerial(o.serialStart, o.serialStep, lastIndex, o.serialField.width, &last))
            return Fail(kExitUsage, L"serial numbers from " + std::to_wstring(o.serialStart) + L" in steps of " +
                                        std::to_wstring(o.serialStep) + L" do not fit " +
                                        std::to_wstring(o.serialField.width) + L" bytes" +
                                        (o.forever ? L"" : L" for " + std::to_wstring(o.repeat) + L" boards"));
    }
    if (!o.checksums.empty()) {
        const std::wstring why =
            ChecksumStepsProblem(o.checksums, part.CodeCapacity, o.serial ? &o.serialField : nullptr);
        if (!why.empty()) return Fail(kExitUsage, why);
        // With serial numbers every board's copy gets them after its number.
        if (!o.serial) {
            const std::string failed =
                image::ApplyChecksums(images->code, part.CodeCapacity, o.checksums, &images->checksums);
            if (!failed.empty()) return Fail(kExitUsage, L"--checksum " + Widen(failed));
        }
    }
    return kExitOk;
}

// The lines printed before the first board (not with --json).
void PrintHeader(const Options& o, const isp::BodyInfo& part, const LinkSettings& link, const RunImages& images) {
    if (o.json) return;
    std::wstring names;
    for (const std::wstring& n : o.ports) names += (names.empty() ? L"" : L", ") + n;
    Out().Line(Utf8(L"Part " + std::wstring(part.PartName) + L" on " + names + L", baud " + link.baudText +
                    L", checkrate " + link.checkText));
    if (images.extended)
        Out().Line("Flash image extended with 0xFF to " + std::to_string(images.code.size()) +
                   " bytes for the serial field");
    ImageFigures flash = Figures("flash", images.code, "");
    flash.checksums = ChecksumRecordTexts(images.checksums);
    Out().Line(FiguresLine(flash));
    if (o.serial && !o.checksums.empty()) {
        std::string steps;
        for (const image::ChecksumStep& step : o.checksums) steps += " " + image::ChecksumStepText(step);
        Out().Line("Checksums after each board's serial number:" + steps);
    }
    if (HasArea(o, Area::Eeprom)) Out().Line(FiguresLine(Figures("eeprom", images.data, "")));
}

BoardSetup SetupFor(const Options& o, const isp::BodyInfo& part, std::int32_t index, const LinkSettings& link) {
    BoardSetup setup;
    setup.partIndex = index;
    setup.link = link;
    setup.optionBits = o.optionBits;
    setup.setupFlags = SetupFlagsOf(o);
    setup.serialField = o.serialField;
    if (o.serial) setup.checksums = o.checksums;
    setup.codeCapacity = part.CodeCapacity;
    return setup;
}

bool ReadImageFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) {
    return ReadWholeFile(path, 64u << 20, bytes) == ERROR_SUCCESS;
}

}  // namespace

int RunProgram(const Options& o, const ProjectRun* project) {
    const bool gang = o.ports.size() > 1;
    // A run driven through --control runs its COM ports in worker processes
    // even when it has one, so that a lost port can be taken again.
    PortChoice first;
    const bool workers = gang || (o.control && NormalizePort(o.ports.front(), &first) && first.com);
    if (gang) {
        for (const std::wstring& name : o.ports) {
            PortChoice choice;
            if (!NormalizePort(name, &choice) || !choice.com)
                return Fail(kExitUsage, L"--port: '" + name + L"' is no COM port (a gang takes COM ports only)");
        }
    }
    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    const isp::BodyInfo& part = lib.table[index];
    RunImages images;
    if (const int rc = PrepareImages(o, part, project, &images)) return rc;
    ImageSummary summary;
    summary.flashSize = static_cast<std::uint32_t>(images.code.size());
    summary.flashChecksum = image::ByteSum16(images.code.data(), images.code.size());
    summary.flashCrc = image::Crc32(images.code.data(), images.code.size());
    summary.code = &images.code;
    summary.serialField = o.serialField;
    if (o.serial) summary.boardChecksums = o.checksums;
    summary.codeCapacity = part.CodeCapacity;
    summary.checksums = ChecksumRecordTexts(images.checksums);
    summary.station = run::StationName();
    summary.operatorName = run::OperatorName();
    if (project != nullptr) {
        summary.project = Utf8(project->name);
        summary.projectSha256 = project->sha256;
    }

    SerialRun serials;
    CsvLog log, units;
    if (const int rc = StartRunRecords(o, serials, log, units)) return rc;
    summary.unitOutbox = serials.Outbox();
    // A console close waits for the running boards and the records.
    const CloseGuard holdClose;

    std::vector<std::unique_ptr<BoardDriver>> drivers;
    TempFile codeFile, dataFile;
    UniqueHandle job;
    RestartPort restart;
    if (!workers) {
        BoardSetup setup = SetupFor(o, part, index, link);
        setup.code = images.code;
        setup.data = images.data;
        auto board = std::make_unique<LocalBoard>(lib.dll, std::move(setup));
        if (const int rc = board->Open()) return rc;
        drivers.push_back(std::move(board));
        PrintHeader(o, part, link, images);
    } else {
        std::wstring why = codeFile.Write(images.code);
        if (why.empty() && !images.data.empty()) why = dataFile.Write(images.data);
        if (!why.empty()) return Fail(kExitFile, L"cannot write the gang's image file: " + why);
        job = MakeWorkerJob();
        if (!job)
            return Fail(kExitBoardFailed, L"no job object for the gang's workers: " + SystemMessage(::GetLastError()));
        PrintHeader(o, part, link, images);
        const std::vector<std::wstring> args = SetupArguments(o);
        restart = [&, args](std::size_t i) -> std::unique_ptr<BoardDriver> {
            auto worker = std::make_unique<WorkerProcess>();
            if (!worker->Start(job.get(), o.ports[i], codeFile.Path(), images.data.empty() ? L"" : dataFile.Path(),
                               args))
                Fail(kExitBoardFailed,
                     L"no worker process for " + o.ports[i] + L": " + SystemMessage(::GetLastError()));
            return worker;
        };
        for (std::size_t i = 0; i < o.ports.size(); ++i) drivers.push_back(restart(i));
    }

    std::vector<std::string> names;
    for (const std::wstring& n : o.ports) names.push_back(Utf8(n));
    GangSettings settings;
    settings.repeat = o.repeat;
    settings.forever = o.forever;
    settings.keepGoing = o.keepGoing;
    settings.stopOnFail = o.stopOnFail;
    GangRun run(names, settings, o.serial ? &serials.Source() : nullptr);
    const std::unique_ptr<RunDisplay> display = gang ? MakeGangDisplay(o.progress) : MakeBoardDisplay(o.progress);
    const int rc = RunBoards(o, summary, drivers, run, log, units, *display, restart);
    if (DbSerials* db = serials.Database()) {
        // What the boards settled goes to the database now, or at the next start.
        std::string why;
        if (!db->Flush(&why))
            Err().Line("Tarvel_CLI: " + std::to_string(db->Waiting()) +
                       " serial number(s) settled by this run wait for the database (" + why +
                       "); the next start sends them");
    }
    if (UnitOutbox* outbox = serials.Outbox()) {
        std::string why;
        if (!outbox->Send(&why, true))
            Err().Line("Tarvel_CLI: " + std::to_string(outbox->Waiting()) + " unit record(s) wait for the database (" +
                       why + "); the next start sends them");
    }
    return rc;
}

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
    BoardSetup setup = SetupFor(o, lib.table[index], index, link);
    if (!ReadImageFile(w.codeFile, &setup.code) || (!w.dataFile.empty() && !ReadImageFile(w.dataFile, &setup.data)))
        return Fail(kExitFile, L"the gang's image files cannot be read");
    LocalBoard board(lib.dll, std::move(setup));
    if (const int rc = board.Open()) return rc;
    return ServeParent(board);
}

}  // namespace cli
