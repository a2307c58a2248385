// Checksums written into an image: a CRC or a byte sum over an address range
// START..END (END included), stored at ADDR in little- or big-endian order,
// as a boot loader that checks its application expects to find it. Several
// steps run in the order given, so a later step can cover an earlier one's
// value (a CRC of the application, then a sum over the whole Flash).
// Window-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace image {

enum class ChecksumAlgorithm {
    Crc32,            // the common reflected 0x04C11DB7 form (zlib, Ethernet)
    Crc32c,           // Castagnoli, reflected 0x1EDC6F41
    Crc16CcittFalse,  // 0x1021, initial 0xFFFF, not reflected
    Crc16Xmodem,      // 0x1021, initial 0x0000, not reflected
    Crc16Modbus,      // reflected 0x8005, initial 0xFFFF
    Sum8,             // the bytes added, modulo 256
    Sum16,            // the bytes added, modulo 65536
    Sum8Twos,         // the byte that makes the range plus itself add to 0 modulo 256
};

struct ChecksumStep {
    ChecksumAlgorithm algorithm = ChecksumAlgorithm::Crc32;
    std::uint32_t start = 0, end = 0;  // the range, END included
    std::uint32_t address = 0;         // where the value is stored
    bool bigEndian = false;
};

// "crc32", "crc32c", "crc16-ccitt-false", "crc16-xmodem", "crc16-modbus",
// "sum8", "sum16", "sum8-twos".
const char* ChecksumName(ChecksumAlgorithm algorithm);
// The bytes the value takes: 4, 2 or 1.
unsigned ChecksumBytes(ChecksumAlgorithm algorithm);

// The value over bytes.
std::uint32_t ComputeChecksum(ChecksumAlgorithm algorithm, const std::uint8_t* bytes, std::size_t count);

// "ALG:START-END@ADDR[:big|:little]", addresses hexadecimal (with or without
// 0x), little-endian by default. False with the reason.
bool ParseChecksumStep(std::string_view text, ChecksumStep* step, std::string* why);
// The step as ParseChecksumStep reads it, in its one canonical form.
std::string ChecksumStepText(const ChecksumStep& step);

// Why a step cannot run on an area of `capacity` bytes, or empty: a range
// that ends before it starts or lies past the area, a value stored past it,
// a value stored inside its own range.
std::string ChecksumStepProblem(const ChecksumStep& step, std::uint32_t capacity);

struct ChecksumValue {
    ChecksumStep step;
    std::uint32_t value = 0;
};

// Runs the steps in order on an image of an area of `capacity` bytes. A range
// or a value past the image's end first extends the image with erased bytes
// (0xFF) up to it. Empty text on success (values: each step's value);
// otherwise why, and the image is as it was.
std::string ApplyChecksums(std::vector<std::uint8_t>& image, std::uint32_t capacity,
                           const std::vector<ChecksumStep>& steps, std::vector<ChecksumValue>* values);

// "crc32 0000-7FFB @7FFC = 1A2B3C4D": one step and its value, for a log line.
std::string ChecksumValueText(const ChecksumValue& value);

}  // namespace image
