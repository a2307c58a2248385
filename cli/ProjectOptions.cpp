#include "cli/ProjectOptions.h"

#include "project/ProjectPaths.h"

namespace cli {
namespace {

std::wstring Resolved(const std::wstring& folder, const std::wstring& stored) {
    return stored.empty() ? std::wstring() : project::ResolvedPath(folder, stored);
}

}  // namespace

bool FreeWithLockedProject(const std::wstring& option) {
    static const wchar_t* const kFree[] = {L"port",        L"repeat",     L"forever", L"keep-going", L"stop-on-fail",
                                           L"out",         L"eeprom-out", L"log",     L"json",       L"progress",
                                           L"no-progress", L"project",    L"units",   L"events",     L"control"};
    for (const wchar_t* name : kFree)
        if (option == name) return true;
    return false;
}

std::wstring ApplyProject(const project::Project& p, const std::wstring& folder, Options* o) {
    if (p.lock.locked) {
        for (const std::wstring& name : o->given)
            if (!FreeWithLockedProject(name))
                return L"--" + name +
                       L": the project is locked; its set-up changes only when the project is saved again "
                       L"(project new)";
    }
    if (!o->Given(L"part")) o->part = p.part;
    if (!o->Given(L"baud")) o->baud = p.baud;
    if (!o->Given(L"checkrate")) o->checkrate = p.checkRate;
    if (!o->Given(L"option-bits")) o->optionBits = p.optionBits;
    // The project's bits are checked against the part as typed ones are.
    o->optionBitsGiven = true;
    o->eraseBySize = o->eraseBySize || p.eraseBySize;
    o->rstnColdReset = o->rstnColdReset || p.rstnColdReset;
    o->loads.clear();
    for (const auto& [area, files] : {std::pair{Area::Flash, &p.flash}, std::pair{Area::Eeprom, &p.eeprom}}) {
        for (const project::ProjectFile& f : *files) {
            FileLoad load;
            load.area = area;
            load.path = project::ResolvedPath(folder, f.path);
            load.insertOffset = f.address;
            load.clearFirst = f.clearFirst;
            o->loads.push_back(load);
        }
    }
    // A --checksum on the command line replaces the project's whole list.
    if (!o->Given(L"checksum")) o->checksums = p.checksums;
    if (o->command != Command::Program) return CheckOptions(*o);

    if (p.serial.enabled) {
        const project::SerialSettings& s = p.serial;
        if (!o->Given(L"serial-addr")) o->serialField.address = s.address;
        o->serial = true;
        if (!o->Given(L"serial-width")) o->serialField.width = s.width;
        if (!o->Given(L"serial-endian")) o->serialField.bigEndian = s.bigEndian;
        if (!o->Given(L"serial-start")) o->serialStart = s.start;
        if (!o->Given(L"serial-step")) o->serialStep = s.step;
        if (!o->Given(L"serial-list")) o->serialList = Resolved(folder, s.listFile);
        if (!o->Given(L"serial-state")) o->serialState = Resolved(folder, s.stateFile);
        if (!o->Given(L"serial-db")) o->serialDb = s.database;
        if (!o->Given(L"serial-series")) o->serialSeries = s.series;
    }
    if (o->ports.empty()) {
        o->ports = p.ports;
        if (o->ports.empty()) return L"--port is required (COMn or KV707): the project names no port";
        o->port = o->ports.front();
    }
    if (!o->Given(L"log")) o->log = Resolved(folder, p.log);
    return CheckOptions(*o);
}

}  // namespace cli
