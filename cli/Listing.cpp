#include "cli/Listing.h"

#include "cli/JsonLine.h"
#include "cli/Text.h"
#include "image/ByteSum.h"
#include "image/Crc32.h"
#include "isp/PartRules.h"
#include "text/UiText.h"

#include <algorithm>

namespace cli {

namespace {

std::string Pad(std::string s, std::size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string Joined(const std::vector<std::string>& items, const char* sep) {
    std::string s;
    for (const std::string& item : items) s += (s.empty() ? "" : sep) + item;
    return s;
}

}  // namespace

std::vector<std::string> FamilyList(std::uint32_t mask) {
    std::vector<std::string> names;
    for (unsigned bit = 0; bit < 32; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const wchar_t* name = FamilyName(bit);
        names.push_back(name ? Utf8(name) : "bit " + std::to_string(bit));
    }
    return names;
}

std::vector<std::string> OptionList(const isp::BodyInfo& part) {
    std::vector<std::string> captions;
    for (unsigned n = 0; n < parts::VisibleOptions(part); ++n)
        captions.push_back(Utf8(parts::OptionCaption(part, n, 0)));
    return captions;
}

std::vector<std::string> PartsTableText(const isp::BodyInfo* table, std::uint32_t count) {
    struct Row {
        std::string name, families, cls, flash, eeprom, address, options;
    };
    std::vector<Row> rows;
    rows.push_back({"Part", "Families", "Class", "Flash", "EEPROM", "Data addr", "Options"});
    for (std::uint32_t i = 0; i < count; ++i) {
        const isp::BodyInfo& p = table[i];
        const std::vector<std::string> options = OptionList(p);
        std::string optionText = std::to_string(options.size());
        if (!options.empty()) optionText += ": " + Joined(options, ", ");
        rows.push_back({Utf8(p.PartName ? p.PartName : L""), Joined(FamilyList(p.FamilyMask), ", "),
                        std::to_string(p.PartClass), std::to_string(p.CodeCapacity), std::to_string(p.DataCapacity),
                        HexText(p.DataAddress, 8), optionText});
    }
    std::size_t w[6] = {};
    for (const Row& r : rows) {
        const std::string* cells[6] = {&r.name, &r.families, &r.cls, &r.flash, &r.eeprom, &r.address};
        for (int c = 0; c < 6; ++c) w[c] = std::max(w[c], cells[c]->size());
    }
    std::vector<std::string> lines;
    for (const Row& r : rows) {
        lines.push_back(Pad(r.name, w[0] + 2) + Pad(r.families, w[1] + 2) + Pad(r.cls, w[2] + 2) +
                        Pad(r.flash, w[3] + 2) + Pad(r.eeprom, w[4] + 2) + Pad(r.address, w[5] + 2) + r.options);
        while (!lines.back().empty() && lines.back().back() == ' ') lines.back().pop_back();
    }
    return lines;
}

std::vector<std::string> PartsTableJson(const isp::BodyInfo* table, std::uint32_t count) {
    std::vector<std::string> lines;
    for (std::uint32_t i = 0; i < count; ++i) {
        const isp::BodyInfo& p = table[i];
        JsonObject j;
        j["record"] = "part";
        j["index"] = i;
        j["name"] = Utf8(p.PartName ? p.PartName : L"");
        j["families"] = FamilyList(p.FamilyMask);
        j["family_mask"] = p.FamilyMask;
        j["class"] = p.PartClass;
        j["flash"] = p.CodeCapacity;
        j["eeprom"] = p.DataCapacity;
        j["data_address"] = HexText(p.DataAddress, 8);
        j["options"] = OptionList(p);
        lines.push_back(JsonLine(j));
    }
    return lines;
}

ImageFigures Figures(const std::string& area, const std::vector<std::uint8_t>& image, const std::string& file) {
    ImageFigures f;
    f.area = area;
    f.size = static_cast<std::uint32_t>(image.size());
    f.checksum = image::ByteSum16(image.data(), image.size());
    f.crc32 = image::Crc32(image.data(), image.size());
    f.file = file;
    return f;
}

std::string FiguresLine(const ImageFigures& f) {
    std::string line = std::string(f.area == "flash" ? "Flash " : "EEPROM") + "  " + std::to_string(f.size) +
                       " bytes  checksum " + HexText(f.checksum, 4) + "  CRC-32 " + HexText(f.crc32, 8);
    for (const std::string& checksum : f.checksums) line += "  " + checksum;
    if (!f.file.empty()) line += "  -> " + f.file;
    return line;
}

std::string FiguresJson(const ImageFigures& f) {
    JsonObject j;
    j["record"] = "image";
    j["area"] = f.area;
    j["size"] = f.size;
    j["checksum"] = HexText(f.checksum, 4);
    j["crc32"] = HexText(f.crc32, 8);
    j["file"] = f.file.empty() ? JsonObject(nullptr) : JsonObject(f.file);
    if (!f.checksums.empty()) j["checksums"] = f.checksums;
    return JsonLine(j);
}

std::vector<std::string> HexDumpLines(const std::uint8_t* bytes, std::size_t count) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < count; at += 16) {
        std::string hex, ascii;
        for (std::size_t i = at; i < at + 16; ++i) {
            if (i < count) {
                hex += HexText(bytes[i], 2) + (i % 16 == 7 ? "  " : " ");
                ascii += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
            } else {
                hex += i % 16 == 7 ? "    " : "   ";
            }
        }
        lines.push_back(HexText(at, 4) + "  " + hex + " " + ascii);
    }
    return lines;
}

}  // namespace cli
