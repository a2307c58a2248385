// The Flash image one board is programmed with: the run's image, the board's
// serial number written in, then the checksum steps run over that copy, so
// that a checksum whose range covers the serial field matches the board's own
// bytes. A run without serial numbers runs the steps once, on the run's
// image. Window-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/SerialBook.h"
#include "image/Checksum.h"

namespace cli {

// Why the steps cannot run on a part with `capacity` bytes of Flash, naming
// the step as the command line gives it ("--checksum crc32:0000-7FFB@8000:little:
// ..."), or empty. field: the run's serial field (nullptr: none), which no
// stored value may overwrite.
std::wstring ChecksumStepsProblem(const std::vector<image::ChecksumStep>& steps, std::uint32_t capacity,
                                  const SerialField* field);

// Writes serial (nullptr: none) into code at field, then runs steps over it.
// code covers the field already (ExtendForField); the steps extend it with
// 0xFF where they reach past its end. Empty text on success, with each step's
// value in values (may be null); otherwise why, the steps not run.
std::string MakeBoardImage(std::vector<std::uint8_t>& code, const SerialField& field, const SerialValue* serial,
                           const std::vector<image::ChecksumStep>& steps, std::uint32_t capacity,
                           std::vector<image::ChecksumValue>* values);

// A value as a board's record shows it: "crc32@0x7FFC=1A2B3C4D".
std::vector<std::string> ChecksumRecordTexts(const std::vector<image::ChecksumValue>& values);

}  // namespace cli
