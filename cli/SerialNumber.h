// Per-board serial numbers written into each board's copy of the Flash
// image. Window-free.
//
// A field is `width` bytes (1 to 8) at `address` of the Flash image, little-
// or big-endian. It must lie wholly inside the image as loaded: writing past
// the image would lengthen what is programmed (and could reach bytes the
// part does not have), so such a field is refused before any board.
//
// Board k (counting passed boards from 0) gets start + k * step. A failed
// board does not use up its number: the next board is offered the same one,
// so the numbers of the boards that work have no gaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cli {

struct SerialField {
    std::uint32_t address = 0;
    unsigned width = 4;
    bool bigEndian = false;
};

// Largest number a field of `width` bytes holds (0 for a width outside 1..8).
std::uint64_t MaxSerial(unsigned width);

enum class SerialProblem {
    None,
    Width,         // width outside 1..8
    PastImage,     // address + width beyond the loaded image
    PastCapacity,  // address + width beyond the part's Flash
};

SerialProblem CheckField(const SerialField& field, std::size_t imageSize, std::uint32_t capacity);

// The number of passed board n (0-based): start + n * step. False when it
// does not fit the field or the arithmetic would wrap.
bool NthSerial(std::uint64_t start, std::uint64_t step, std::uint64_t n, unsigned width, std::uint64_t* out);

// Writes value into image at the field (the caller has checked the field
// against the image's size).
void WriteSerial(std::uint8_t* image, const SerialField& field, std::uint64_t value);

// Human text for a problem, naming the numbers involved.
std::string DescribeProblem(SerialProblem problem, const SerialField& field, std::size_t imageSize,
                            std::uint32_t capacity);

}  // namespace cli
