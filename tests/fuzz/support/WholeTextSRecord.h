// The tests' reference for the block reader of S-record: the text read in one
// piece, record after record, as the tool once read it, with its own record
// checks rather than image::srec::ImageBuilder, so that what it holds the block
// reader to is the whole of it: where records, line ends, blanks, a
// byte-order mark and a NUL fall across blocks, and what each record does to
// the image. The product does not link it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/ImageResult.h"

namespace hexmodel {

// roomLeft as for image::SRecordStream.
image::ImageResult ParseWholeSRecord(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft);

}  // namespace hexmodel
