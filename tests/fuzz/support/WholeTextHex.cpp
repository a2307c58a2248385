#include "tests/fuzz/support/WholeTextHex.h"

#include "image/HexDigits.h"
#include "image/IntelHex.h"

namespace hexmodel {

image::ImageResult ParseWholeText(const std::uint8_t* text, std::size_t length, std::uint64_t roomLeft) {
    using namespace image::hexdigits;
    const TextRange range = RecordText(text, length);
    image::ihex::ImageBuilder image(roomLeft, 0);
    const std::uint8_t* p = range.begin;
    while (image::ihex::NextRecord(p, range.end)) {
        const std::uint8_t* const record = p;
        while (p < range.end && !IsLineEnd(*p)) ++p;
        if (!image.Record(record, p)) break;
    }
    return image.Finish();
}

}  // namespace hexmodel
