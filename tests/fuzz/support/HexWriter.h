// Writes a memory map as Intel HEX the many ways real files look: any record
// length, CR LF / LF / CR line ends (also doubled), either letter case, base
// records of type 2 or 4, blanks around records, a byte-order mark, comment
// lines, start address records, an end record with junk after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/support/ByteReader.h"

namespace hexmodel {

struct Segment {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

// The text for the segments, in order (a later segment overwrites an earlier
// one where they overlap). Choices come from `choices`.
std::string WriteHex(const std::vector<Segment>& segments, ByteReader& choices);

// The image the segments describe: 0xFF below 0x10000 and 0x00 above where no
// segment writes, up to the highest end.
std::vector<std::uint8_t> ExpectedImage(const std::vector<Segment>& segments);

}  // namespace hexmodel
