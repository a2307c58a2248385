// A deliberately plain model of how a HEX text becomes an image: one line at a
// time, with strings and a map, written for clarity rather than speed. The fast
// parser must agree with it on every input.
#pragma once

#include <cstdint>
#include <string>

#include "image/ImageResult.h"

namespace hexmodel {

image::ImageResult ModelParse(const std::string& text, std::uint64_t roomLeft);

}  // namespace hexmodel
