#include "cli/ProjectText.h"

#include "cli/JsonLine.h"
#include "cli/Text.h"
#include "project/ProjectPaths.h"

namespace cli {
namespace {

std::string Address(std::uint32_t v) { return "0x" + HexText(v, 1); }

std::string Figures(std::uint64_t size, std::uint32_t crc) {
    return std::to_string(size) + " bytes  CRC-32 " + HexText(crc, 8);
}

std::string Labelled(const char* label, const std::string& text) {
    std::string line = label;
    line.append(line.size() < 10 ? 10 - line.size() : 1, ' ');
    return line + text;
}

JsonObject OrNull(const std::wstring& text) { return text.empty() ? JsonObject(nullptr) : JsonObject(Utf8(text)); }

}  // namespace

std::vector<std::string> ProjectLines(const project::Project& p, const std::wstring& file,
                                      const std::wstring& problem) {
    std::vector<std::string> lines;
    lines.push_back(Labelled("Project", Utf8(p.name)));
    lines.push_back(Labelled("File", Utf8(file)));
    if (!p.note.empty()) lines.push_back(Labelled("Note", Utf8(p.note)));
    lines.push_back(Labelled("Part", Utf8(p.part) + "  baud " + Utf8(p.baud) + "  checkrate " + Utf8(p.checkRate)));
    std::string options = "option bits 0x" + HexText(p.optionBits, 2);
    if (p.eraseBySize) options += ", erase by file size";
    if (p.rstnColdReset) options += ", RSTN cold reset";
    lines.push_back(Labelled("Options", options));
    for (const auto& [label, files] : {std::pair{"Flash", &p.flash}, std::pair{"EEPROM", &p.eeprom}}) {
        for (const project::ProjectFile& f : *files)
            lines.push_back(Labelled(label, Utf8(f.path) + "  at " + Address(f.address) + "  " +
                                                Figures(f.size, f.crc32) + (f.clearFirst ? "  clear first" : "")));
    }
    std::string images = "Flash " + Figures(p.flashImage.size, p.flashImage.crc32);
    if (!p.eeprom.empty()) images += "; EEPROM " + Figures(p.eepromImage.size, p.eepromImage.crc32);
    lines.push_back(Labelled("Images", images));
    if (p.serial.enabled) {
        const project::SerialSettings& s = p.serial;
        std::string serial = "at " + Address(s.address) + ", " + std::to_string(s.width) + " bytes " +
                             (s.bigEndian ? "big" : "little") + "-endian, ";
        serial += s.listFile.empty() ? "from " + std::to_string(s.start) + " in steps of " + std::to_string(s.step)
                                     : "values from " + Utf8(s.listFile);
        if (!s.stateFile.empty()) serial += ", state file " + Utf8(s.stateFile);
        if (!s.database.empty()) serial += ", series " + Utf8(s.series) + " in the database " + Utf8(s.database);
        lines.push_back(Labelled("Serial", serial));
    } else {
        lines.push_back(Labelled("Serial", "none"));
    }
    std::string steps;
    for (const image::ChecksumStep& step : p.checksums)
        steps += (steps.empty() ? "" : ", ") + image::ChecksumStepText(step);
    lines.push_back(Labelled("Checksums", steps.empty() ? "none" : steps));
    std::string ports;
    for (const std::wstring& port : p.ports) ports += (ports.empty() ? "" : ", ") + Utf8(port);
    lines.push_back(Labelled("Ports", ports.empty() ? "none (--port names them when it runs)" : ports));
    lines.push_back(Labelled("Log", p.log.empty() ? "none" : Utf8(p.log)));
    lines.push_back(Labelled("Lock", p.lock.locked ? "locked: options that change the set-up are refused" : "none"));
    lines.push_back(Labelled("Files", problem.empty() ? "as saved" : Utf8(problem)));
    return lines;
}

std::string ProjectJson(const project::Project& p, const std::wstring& file, const std::wstring& folder,
                        const std::wstring& problem) {
    JsonObject j;
    j["record"] = "project";
    j["file"] = Utf8(file);
    j["name"] = Utf8(p.name);
    j["note"] = Utf8(p.note);
    j["part"] = Utf8(p.part);
    j["baud"] = Utf8(p.baud);
    j["checkrate"] = Utf8(p.checkRate);
    j["option_bits"] = p.optionBits;
    j["erase_by_file_size"] = p.eraseBySize;
    j["rstn_cold_reset"] = p.rstnColdReset;
    for (const auto& [key, files] : {std::pair{"flash", &p.flash}, std::pair{"eeprom", &p.eeprom}}) {
        JsonObject list = JsonObject::array();
        for (const project::ProjectFile& f : *files) {
            JsonObject item;
            item["file"] = Utf8(f.path);
            item["path"] = Utf8(project::ResolvedPath(folder, f.path));
            item["address"] = Address(f.address);
            item["clear"] = f.clearFirst;
            item["size"] = f.size;
            item["crc32"] = HexText(f.crc32, 8);
            list.push_back(item);
        }
        j[key] = list;
    }
    JsonObject images;
    images["flash"] = {{"size", p.flashImage.size}, {"crc32", HexText(p.flashImage.crc32, 8)}};
    images["eeprom"] = p.eeprom.empty()
                           ? JsonObject(nullptr)
                           : JsonObject{{"size", p.eepromImage.size}, {"crc32", HexText(p.eepromImage.crc32, 8)}};
    j["images"] = images;
    if (p.serial.enabled) {
        const project::SerialSettings& s = p.serial;
        JsonObject serial;
        serial["address"] = Address(s.address);
        serial["width"] = s.width;
        serial["byte_order"] = s.bigEndian ? "big" : "little";
        serial["start"] = s.start;
        serial["step"] = s.step;
        serial["list"] = OrNull(s.listFile);
        serial["state"] = OrNull(s.stateFile);
        if (!s.database.empty()) {
            serial["database"] = Utf8(s.database);
            serial["series"] = Utf8(s.series);
        }
        j["serial"] = serial;
    } else {
        j["serial"] = nullptr;
    }
    JsonObject steps = JsonObject::array();
    for (const image::ChecksumStep& step : p.checksums) steps.push_back(image::ChecksumStepText(step));
    j["checksums"] = steps;
    JsonObject ports = JsonObject::array();
    for (const std::wstring& port : p.ports) ports.push_back(Utf8(port));
    j["ports"] = ports;
    j["log"] = OrNull(p.log);
    j["locked"] = p.lock.locked;
    j["files_ok"] = problem.empty();
    j["problem"] = OrNull(problem);
    return JsonLine(j);
}

}  // namespace cli
