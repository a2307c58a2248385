// Per-board serial numbers written into each board's copy of the Flash
// image. Window-free.
//
// A field is `width` bytes (1 to 8) at `address` of the Flash image, little-
// or big-endian. It must lie inside the part's Flash; a field past the end of
// the loaded image (an application that ends below a serial block at the top
// of Flash) lengthens the image with erased bytes (0xFF) up to its end.
//
// Board k (counting passed boards from 0) gets start + k * step. A failed
// board does not use up its number: the next board is offered the same one,
// so the numbers of the boards that work have no gaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    PastCapacity,  // address + width beyond the part's Flash
};

SerialProblem CheckField(const SerialField& field, std::uint32_t capacity);

// Lengthens image with 0xFF, as erased Flash reads, so that it covers the
// field (a field the caller has checked against the part). True when it grew.
bool ExtendForField(std::vector<std::uint8_t>& image, const SerialField& field);

// The number of passed board n (0-based): start + n * step. False when it
// does not fit the field or the arithmetic would wrap.
bool NthSerial(std::uint64_t start, std::uint64_t step, std::uint64_t n, unsigned width, std::uint64_t* out);

// Writes value into image at the field (the caller has made the image cover
// the field).
void WriteSerial(std::uint8_t* image, const SerialField& field, std::uint64_t value);

// Human text for a problem, naming the numbers involved.
std::string DescribeProblem(SerialProblem problem, const SerialField& field, std::uint32_t capacity);

}  // namespace cli
