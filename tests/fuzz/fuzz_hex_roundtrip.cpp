// Random memory maps written as HEX in every style real files come in, read
// back: the image must be exactly the map with the erased fill, or TooLarge
// exactly when the map ends beyond the room left.
#include <cstdint>
#include <vector>

#include "image/IntelHex.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/support/ByteReader.h"
#include "tests/fuzz/support/HexWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hexmodel::ByteReader in(data, size);
    std::vector<hexmodel::Segment> segments(1 + in.Byte() % 5);
    for (hexmodel::Segment& s : segments) {
        switch (in.Byte() % 8) {
        case 0:
        case 1:
        case 2: s.address = in.Range(0, 0xFFFF); break;
        case 3:
        case 4: s.address = in.Range(0xFF00, 0x10100); break;    // around 64 KiB
        case 5: s.address = in.Range(0xFFF00, 0x100100); break;  // around 1 MiB (type 2 ends)
        default: s.address = in.Range(0, 0x3FFFF); break;
        }
        s.bytes.resize(in.Byte() % 2 == 0 ? in.Range(1, 600) : in.Range(1, 40));
        for (auto& b : s.bytes) b = in.Byte();
    }
    const std::vector<std::uint8_t> expected = hexmodel::ExpectedImage(segments);
    std::uint64_t room = expected.size();
    switch (in.Byte() % 4) {
    case 0: break;                              // exactly fits
    case 1: room = room ? room - 1 : 0; break;  // one byte short
    case 2: room = in.Range(0, 0x110000); break;
    default: room = 0x110000 + in.Byte(); break;
    }
    const std::string text = hexmodel::WriteHex(segments, in);

    const image::ImageResult r =
        image::ParseIntelHex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), room);
    if (expected.size() > room) {
        FUZZ_CHECK(r.status == image::ImageStatus::TooLarge);
    } else {
        FUZZ_CHECK(r.status == image::ImageStatus::Ok);
        FUZZ_CHECK(r.bytes == expected);
    }
    return 0;
}
