#include "cli/SerialNumber.h"

#include "cli/Text.h"

#include <limits>

namespace cli {

std::uint64_t MaxSerial(unsigned width) {
    if (width < 1 || width > 8) return 0;
    if (width == 8) return std::numeric_limits<std::uint64_t>::max();
    return (std::uint64_t{1} << (8 * width)) - 1;
}

SerialProblem CheckField(const SerialField& field, std::uint32_t capacity) {
    if (field.width < 1 || field.width > 8) return SerialProblem::Width;
    const std::uint64_t end = std::uint64_t{field.address} + field.width;
    if (end > capacity) return SerialProblem::PastCapacity;
    return SerialProblem::None;
}

bool ExtendForField(std::vector<std::uint8_t>& image, const SerialField& field) {
    const std::size_t end = static_cast<std::size_t>(field.address) + field.width;
    if (end <= image.size()) return false;
    image.resize(end, 0xFF);
    return true;
}

bool NthSerial(std::uint64_t start, std::uint64_t step, std::uint64_t n, unsigned width, std::uint64_t* out) {
    const std::uint64_t max = MaxSerial(width);
    if (width < 1 || width > 8 || start > max) return false;
    if (n != 0 && step != 0) {
        const std::uint64_t room = max - start;
        if (step > room / n) return false;  // start + n * step > max
    }
    *out = start + n * step;
    return true;
}

void WriteSerial(std::uint8_t* image, const SerialField& field, std::uint64_t value) {
    for (unsigned i = 0; i < field.width; ++i) {
        const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
        const unsigned at = field.bigEndian ? field.width - 1 - i : i;
        image[field.address + at] = byte;
    }
}

std::string DescribeProblem(SerialProblem problem, const SerialField& field, std::uint32_t capacity) {
    const std::string where =
        "a " + std::to_string(field.width) + "-byte serial field at 0x" + HexText(field.address, 4);
    switch (problem) {
    case SerialProblem::None: return {};
    case SerialProblem::Width: return "the serial width must be 1 to 8 bytes";
    case SerialProblem::PastCapacity:
        return where + " runs past the part's Flash (" + std::to_string(capacity) + " bytes)";
    }
    return {};
}

}  // namespace cli
