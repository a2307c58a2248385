// Texts of the parts, image and dump commands. Window-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "isp/IspRecords.h"

namespace cli {

// Family names of a part's mask ("T30 Series"), "bit N" for a bit without a
// name.
std::vector<std::string> FamilyList(std::uint32_t mask);

// English captions of the option boxes the part shows, in bit order.
std::vector<std::string> OptionList(const isp::BodyInfo& part);

// The parts table as aligned text lines (with a heading) or as JSON Lines.
std::vector<std::string> PartsTableText(const isp::BodyInfo* table, std::uint32_t count);
std::vector<std::string> PartsTableJson(const isp::BodyInfo* table, std::uint32_t count);

// One built image: its area, size, the window's byte sum and the CRC-32.
struct ImageFigures {
    std::string area;  // "flash" or "eeprom"
    std::uint32_t size = 0;
    std::uint16_t checksum = 0;
    std::uint32_t crc32 = 0;
    std::string file;                    // where it was written, empty when not
    std::vector<std::string> checksums;  // the --checksum values in it, "crc32@0x7FFC=1A2B3C4D"
};
ImageFigures Figures(const std::string& area, const std::vector<std::uint8_t>& image, const std::string& file);
std::string FiguresLine(const ImageFigures& f);
std::string FiguresJson(const ImageFigures& f);

// 16 bytes a line: offset, hex bytes, printable ASCII.
std::vector<std::string> HexDumpLines(const std::uint8_t* bytes, std::size_t count);

}  // namespace cli
