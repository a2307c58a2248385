#include "cli/ProjectCommands.h"

#include <windows.h>

#include <algorithm>

#include "cli/BoardImage.h"
#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/Library.h"
#include "cli/Listing.h"
#include "cli/ProjectOptions.h"
#include "cli/ProjectText.h"
#include "cli/SerialNumber.h"
#include "cli/Text.h"
#include "framework/FileRead.h"
#include "image/Crc32.h"
#include "project/ProjectPaths.h"
#include "project/ProjectStore.h"

namespace cli {
namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The password of --lock-password-file: its first line, without the line
// break (and without a UTF-8 byte-order mark in front).
int ReadPassword(const std::wstring& path, std::string* password) {
    std::vector<std::uint8_t> bytes;
    const DWORD error = ReadWholeFile(path, 64u << 10, &bytes);
    if (error != ERROR_SUCCESS)
        return Fail(kExitFile, L"--lock-password-file: cannot read " + path + L": " + SystemMessage(error));
    std::string text(bytes.begin(), bytes.end());
    std::fill(bytes.begin(), bytes.end(), 0);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    password->assign(text, 0, text.find('\n'));
    std::fill(text.begin(), text.end(), '\0');
    if (!password->empty() && password->back() == '\r') password->pop_back();
    if (password->empty())
        return Fail(kExitFile, L"--lock-password-file: " + path + L" holds no password on its first line");
    return kExitOk;
}

}  // namespace

int RunProjectNew(const Options& o) {
    const std::wstring file = project::FullPath(o.out);
    const std::wstring folder = project::FolderOf(file);
    // The files the tool writes stay in the project's folder, so that the
    // folder can move to another station as it is.
    for (const auto& [option, value] : {std::pair{L"--serial-state", &o.serialState}, std::pair{L"--log", &o.log}}) {
        if (value->empty()) continue;
        const std::string why = project::WritePathProblem(project::StoredPath(folder, project::FullPath(*value)));
        if (!why.empty())
            return Fail(kExitUsage, std::wstring(option) + L": " + *value + L" cannot go into the project (" +
                                        Widen(why) + L"): a file the tool writes must lie in the project's folder (" +
                                        folder + L") or below it");
    }
    // The project never takes the place of a file it names.
    std::vector<const std::wstring*> named = {&o.serialState, &o.serialList, &o.log, &o.lockPasswordFile};
    for (const FileLoad& load : o.loads) named.push_back(&load.path);
    for (const std::wstring* path : named)
        if (!path->empty() && SamePath(project::FullPath(*path), file))
            return Fail(kExitUsage, L"--out: " + o.out + L" is a file the project names itself");

    Library lib;
    std::int32_t index = -1;
    LinkSettings link;
    if (const int rc = LoadLibraryAndPart(o, lib, &index, &link)) return rc;
    const isp::BodyInfo& part = lib.table[index];
    if (o.serial) {
        const SerialProblem problem = CheckField(o.serialField, part.CodeCapacity);
        if (problem != SerialProblem::None)
            return Fail(kExitUsage, Widen(DescribeProblem(problem, o.serialField, part.CodeCapacity)));
        std::uint64_t first = 0;
        if (o.serialList.empty() && !NthSerial(o.serialStart, o.serialStep, 0, o.serialField.width, &first))
            return Fail(kExitUsage, L"--serial-start " + std::to_wstring(o.serialStart) + L" does not fit " +
                                        std::to_wstring(o.serialField.width) + L" bytes");
    }
    const std::wstring stepsProblem =
        ChecksumStepsProblem(o.checksums, part.CodeCapacity, o.serial ? &o.serialField : nullptr);
    if (!stepsProblem.empty()) return Fail(kExitUsage, stepsProblem);
    std::string password;
    if (!o.lockPasswordFile.empty()) {
        if (const int rc = ReadPassword(o.lockPasswordFile, &password)) return rc;
    }

    ImageBuffer flash(part.CodeCapacity), eeprom(part.DataCapacity);
    if (const int rc = BuildImages(o, part, flash, eeprom)) return rc;
    if (flash.Content().empty()) return Fail(kExitFile, L"the Flash image is empty: nothing to program");

    project::Project p;
    p.name = o.name.empty() ? project::NameWithoutExtension(file) : o.name;
    p.note = o.note;
    p.part = part.PartName;
    p.baud = link.baudText;
    p.checkRate = link.checkText;
    p.optionBits = o.optionBits;
    p.eraseBySize = o.eraseBySize;
    p.rstnColdReset = o.rstnColdReset;
    for (const FileLoad& load : o.loads) {
        const std::wstring full = project::FullPath(load.path);
        project::ProjectFile f;
        f.path = project::StoredPath(folder, full);
        f.address = load.insertOffset;
        f.clearFirst = load.clearFirst;
        const DWORD error = project::MeasureFile(full, &f.size, &f.crc32);
        if (error != ERROR_SUCCESS) return Fail(kExitFile, L"cannot read " + load.path + L": " + SystemMessage(error));
        (load.area == Area::Flash ? p.flash : p.eeprom).push_back(f);
    }
    const auto measured = [](const ImageBuffer& buffer) {
        const std::vector<std::uint8_t>& bytes = buffer.Content();
        return project::ImageCheck{bytes.size(), image::Crc32(bytes.data(), bytes.size())};
    };
    p.flashImage = measured(flash);
    if (!p.eeprom.empty()) p.eepromImage = measured(eeprom);
    if (o.serial) {
        project::SerialSettings& s = p.serial;
        s.enabled = true;
        s.address = o.serialField.address;
        s.width = o.serialField.width;
        s.bigEndian = o.serialField.bigEndian;
        s.start = o.serialStart;
        s.step = o.serialStep;
        if (!o.serialList.empty()) {
            const std::wstring full = project::FullPath(o.serialList);
            std::uint64_t size = 0;
            std::uint32_t crc = 0;
            const DWORD error = project::MeasureFile(full, &size, &crc);
            if (error != ERROR_SUCCESS)
                return Fail(kExitFile, L"cannot read the serial list " + o.serialList + L": " + SystemMessage(error));
            s.listFile = project::StoredPath(folder, full);
        }
        if (!o.serialState.empty()) s.stateFile = project::StoredPath(folder, project::FullPath(o.serialState));
        if (project::HoldsPassword(o.serialDb))
            return Fail(kExitUsage,
                        L"--serial-db: a project names its connection without a password (each station "
                        L"gives it with --serial-db-password-file)");
        s.database = o.serialDb;
        s.series = o.serialSeries;
    }
    p.checksums = o.checksums;
    for (const std::wstring& name : o.ports) {
        PortChoice port;
        NormalizePort(name, &port);  // checked with the rates
        p.ports.push_back(port.name);
    }
    if (!o.log.empty()) p.log = project::StoredPath(folder, project::FullPath(o.log));
    if (!password.empty()) {
        const bool locked = project::MakeLock(password, &p.lock);
        std::fill(password.begin(), password.end(), '\0');
        if (!locked) return Fail(kExitFile, L"cannot lock the project: the system's cryptography refused");
    }
    // What cannot be read back (a name or note too long, too many files or
    // ports) is not written.
    const project::ReadResult back = project::ReadProject(project::WriteProject(p));
    if (!back.ok) return Fail(kExitUsage, L"the project cannot be saved as it is: " + Widen(back.error));
    const DWORD error = project::SaveProjectFile(file, p);
    if (error != ERROR_SUCCESS) return Fail(kExitFile, L"cannot write " + o.out + L": " + SystemMessage(error));

    Out().Line(Utf8(L"Project " + p.name + L" -> " + file + (p.lock.locked ? L" (locked)" : L"")));
    Out().Line(FiguresLine(Figures("flash", flash.Content(), "")));
    if (!p.eeprom.empty()) Out().Line(FiguresLine(Figures("eeprom", eeprom.Content(), "")));
    return kExitOk;
}

int RunProjectShow(const Options& o) {
    const project::OpenedProject opened = project::OpenProjectFile(o.project);
    if (!opened.ok) return Fail(kExitFile, opened.error);
    const std::wstring problem =
        project::DescribeFileProblem(project::CheckProjectFiles(opened.folder, opened.project));
    if (o.json) {
        Out().Line(ProjectJson(opened.project, opened.path, opened.folder, problem));
    } else {
        for (const std::string& line : ProjectLines(opened.project, opened.path, problem)) Out().Line(line);
    }
    if (!problem.empty()) return Fail(kExitFile, project::FileNameOf(opened.path) + L": " + problem);
    return kExitOk;
}

int OpenProjectRun(const Options& o, Options* merged, ProjectRun* run) {
    const project::OpenedProject opened = project::OpenProjectFile(o.project);
    if (!opened.ok) return Fail(kExitFile, opened.error);
    *merged = o;
    const std::wstring why = ApplyProject(opened.project, opened.folder, merged);
    if (!why.empty()) return Fail(kExitUsage, why);
    run->fileName = project::FileNameOf(opened.path);
    run->name = opened.project.name;
    run->sha256 = opened.sha256;
    const project::FileProblem problem = project::CheckProjectFiles(opened.folder, opened.project);
    if (problem.kind != project::FileProblem::kNone)
        return Fail(kExitFile, run->fileName + L": " + project::DescribeFileProblem(problem));
    run->flash = opened.project.flashImage;
    run->eeprom = opened.project.eepromImage;
    run->hasEeprom = !opened.project.eeprom.empty();
    return kExitOk;
}

int CheckProjectImages(const ProjectRun& run, const std::vector<std::uint8_t>& flash,
                       const std::vector<std::uint8_t>& eeprom) {
    struct Image {
        const wchar_t* area;
        const std::vector<std::uint8_t>* bytes;
        const project::ImageCheck* saved;
    };
    std::vector<Image> images = {{L"Flash", &flash, &run.flash}};
    if (run.hasEeprom) images.push_back({L"EEPROM", &eeprom, &run.eeprom});
    for (const Image& i : images) {
        const std::uint32_t crc = image::Crc32(i.bytes->data(), i.bytes->size());
        if (i.bytes->size() != i.saved->size || crc != i.saved->crc32)
            return Fail(kExitFile, run.fileName + L": the " + i.area + L" image built from the project's files (" +
                                       std::to_wstring(i.bytes->size()) + L" bytes, CRC-32 " + Widen(HexText(crc, 8)) +
                                       L") is not the one the project was saved with (" +
                                       std::to_wstring(i.saved->size) + L" bytes, CRC-32 " +
                                       Widen(HexText(i.saved->crc32, 8)) + L")");
    }
    return kExitOk;
}

}  // namespace cli
