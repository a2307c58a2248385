// Building the new buffer content: offsets near 2^32, capacities on either
// side of the image's end, merge and clear-first, against a byte-by-byte model.
#include <cstdint>
#include <string>
#include <vector>

#include "image/ImageCompose.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/support/ByteReader.h"

namespace {

std::uint32_t Pick(hexmodel::ByteReader& in) {
    switch (in.Byte() % 5) {
    case 0: return in.Range(0, 64);
    case 1: return in.Range(0, 0x20000);
    case 2: return 0xFFFFFFFFu - in.Range(0, 0x400);  // near the top of the 32-bit range
    case 3: return 0x80000000u + in.Range(0, 0x400) - 0x200;
    default: return in.U32();
    }
}

// Keep allocations small enough for a fuzzing process.
constexpr std::uint64_t kMaxContent = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hexmodel::ByteReader in(data, size);
    std::vector<std::uint8_t> current(in.Range(0, 300));
    for (auto& b : current) b = in.Byte();
    std::vector<std::uint8_t> img(in.Range(0, 300));
    for (auto& b : img) b = in.Byte();
    const std::uint32_t offset = Pick(in);
    std::uint32_t capacity = Pick(in);
    if (in.Bool())
        capacity = static_cast<std::uint32_t>(offset + img.size() - in.Range(0, 2));  // on the edge, may wrap
    const bool merge = in.Bool();

    // The model: 64-bit sums, explicit loops.
    const std::uint64_t imageEnd = std::uint64_t{offset} + img.size();
    const bool fits = imageEnd <= capacity;
    std::uint64_t n = imageEnd;
    if (merge && current.size() > n) n = current.size();
    if (fits && n > kMaxContent) return 0;

    std::vector<std::uint8_t> content = {0x5A};
    const image::ImageStatus s =
        image::ComposeBuffer(current.data(), current.size(), merge, offset, img.data(), img.size(), capacity, content);
    if (!fits) {
        FUZZ_CHECK(s == image::ImageStatus::TooLarge);
        FUZZ_CHECK(content.size() == 1 && content[0] == 0x5A);
    } else {
        FUZZ_CHECK(s == image::ImageStatus::Ok);
        FUZZ_CHECK(content.size() == n);
        for (std::uint64_t a = 0; a < n; ++a) {
            std::uint8_t want = 0xFF;
            if (merge && a < current.size()) want = current[a];
            if (a >= offset && a < imageEnd) want = img[a - offset];
            FUZZ_CHECK(content[a] == want);
        }
    }

    // The whole load decision: refusals leave nothing to apply; " (Mixed file)"
    // goes with the MixedFile state and nothing else; a merge keeps the old bytes.
    // A load tells the format by the content: bytes that begin as a HEX or
    // S-record line or with the ELF magic are parsed, not placed as they are
    // (their parsers have targets of their own), so the model below holds for
    // binary content only.
    if (image::DetectFormat(img.data(), img.size(), false) != image::FileFormat::Binary) return 0;
    image::LoadRequest rq;
    rq.file = img.data();
    rq.fileLength = img.size();
    rq.current = current.data();
    rq.currentLength = current.size();
    rq.slot.LoadState = static_cast<image::LoadState>(in.Range(0, 3));
    rq.slot.FilePath = L"C:\\old.bin";
    rq.insert.InsertOffset = offset;
    rq.insert.ClearFirst = in.Bool();
    rq.reloading = in.Bool();
    rq.path = L"C:\\new.bin";
    rq.capacity = capacity;
    const image::LoadPlan plan = image::PlanLoad(rq.slot.LoadState, rq.reloading, rq.insert.ClearFirst);
    std::uint64_t loadN = imageEnd;
    if (plan.merge && current.size() > loadN) loadN = current.size();
    if (fits && loadN > kMaxContent) return 0;
    const image::LoadOutcome out = image::ComposeLoad(rq);
    if (!fits) {
        FUZZ_CHECK(out.status == image::ImageStatus::TooLarge);
        FUZZ_CHECK(out.content.empty() && out.pathText.empty());
        return 0;
    }
    FUZZ_CHECK(out.status == image::ImageStatus::Ok);
    FUZZ_CHECK(out.content.size() == loadN);
    const std::wstring mixed = L" (Mixed file)";
    const bool saysMixed = out.pathText.size() > mixed.size() &&
                           out.pathText.compare(out.pathText.size() - mixed.size(), mixed.size(), mixed) == 0;
    FUZZ_CHECK(saysMixed == (out.slot.LoadState == image::LoadState::MixedFile));
    FUZZ_CHECK(out.slot.FilePath == (rq.reloading ? L"C:\\old.bin" : L"C:\\new.bin"));
    if (plan.merge) {
        for (std::size_t a = 0; a < current.size() && a < offset; ++a) FUZZ_CHECK(out.content[a] == current[a]);
    }
    return 0;
}
