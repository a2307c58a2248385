// The tests' reference for the block reader of Intel HEX: the text read in one
// piece, line by line, as the tool once read it beside the block reader. Each
// record line is laid into the image by the same image::ihex::ImageBuilder as
// IntelHexStream, so what the reference holds the block reader to is its own
// part: where records, line ends, blanks, a byte-order mark and a NUL fall
// across blocks. The product does not link it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/ImageResult.h"

namespace hexmodel {

// roomLeft as for image::IntelHexStream.
image::ImageResult ParseWholeText(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft);

}  // namespace hexmodel
