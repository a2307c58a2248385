#include "tests/fuzz/support/HexWriter.h"

#include <algorithm>

namespace hexmodel {
namespace {

class Emitter {
public:
    explicit Emitter(ByteReader& choices) : choices_(choices) { lower_ = choices.Bool(); }

    void Record(std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::size_t count) {
        std::string line;
        const int blanks = choices_.Byte() % 8;
        if (blanks == 1) line += ' ';
        if (blanks == 2) line += " \t";
        line += ':';
        unsigned sum = static_cast<unsigned>(count) + (address >> 8) + (address & 0xFF) + type;
        Hex(line, static_cast<std::uint8_t>(count));
        Hex(line, static_cast<std::uint8_t>(address >> 8));
        Hex(line, static_cast<std::uint8_t>(address));
        Hex(line, type);
        for (std::size_t i = 0; i < count; ++i) {
            Hex(line, data[i]);
            sum += data[i];
        }
        Hex(line, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
        if (blanks == 3) line += "\t ";
        text_ += line;
        LineEnd();
    }

    void Comment() {
        text_ += "; generated";
        LineEnd();
    }

    std::string& Text() { return text_; }

private:
    void Hex(std::string& s, std::uint8_t b) {
        const char* digits = lower_ ? "0123456789abcdef" : "0123456789ABCDEF";
        s += digits[b >> 4];
        s += digits[b & 0xF];
    }

    void LineEnd() {
        static const char* const kEnds[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\n\n", "\r\r"};
        text_ += kEnds[choices_.Byte() % 6];
        if (choices_.Byte() % 16 == 0) lower_ = !lower_;  // mixed case within a file
    }

    ByteReader& choices_;
    std::string text_;
    bool lower_ = false;
};

}  // namespace

std::string WriteHex(const std::vector<Segment>& segments, ByteReader& choices) {
    Emitter out(choices);
    if (choices.Byte() % 4 == 0) out.Text() = "\xEF\xBB\xBF";
    if (choices.Byte() % 4 == 0) out.Comment();
    std::uint64_t base = 0;
    for (const Segment& seg : segments) {
        std::size_t done = 0;
        while (done < seg.bytes.size()) {
            const std::uint32_t at = static_cast<std::uint32_t>(seg.address + done);
            std::size_t len =
                std::min<std::size_t>(1 + choices.Byte() % 255 / (1 + choices.Byte() % 4), seg.bytes.size() - done);
            // The record needs a base below it within 64 KiB; keep the current
            // one when it still serves (a record may run on past base + 0xFFFF).
            if (at < base || at - base > 0xFFFF || choices.Byte() % 32 == 0) {
                const bool segmented = at <= 0xFFFF0 + 0xFFFF && choices.Bool();
                if (segmented) {
                    // Any segment s with s * 16 <= at < s * 16 + 0x10000.
                    const std::uint32_t hi = std::min<std::uint32_t>(at >> 4, 0xFFFF);
                    const std::uint32_t lo = at >= 0xFFFF ? (at - 0xFFFF + 15) >> 4 : 0;
                    const std::uint32_t s = lo + choices.U32() % (hi - lo + 1);
                    const std::uint8_t v[2] = {static_cast<std::uint8_t>(s >> 8), static_cast<std::uint8_t>(s)};
                    out.Record(2, 0, v, 2);
                    base = std::uint64_t{s} << 4;
                } else {
                    const std::uint8_t v[2] = {static_cast<std::uint8_t>(at >> 24),
                                               static_cast<std::uint8_t>(at >> 16)};
                    out.Record(4, 0, v, 2);
                    base = at & 0xFFFF0000u;
                }
            }
            out.Record(0, static_cast<std::uint16_t>(at - base), seg.bytes.data() + done, len);
            done += len;
            if (choices.Byte() % 32 == 0) {
                const std::uint8_t start[4] = {0x00, 0x00, 0x12, 0x34};
                out.Record(choices.Bool() ? 5 : 3, 0, start, 4);
            }
        }
    }
    if (choices.Byte() % 4 != 0) {
        out.Record(1, 0, nullptr, 0);
        if (choices.Bool()) out.Text() += ":ZZ this is not read\r\n:0400000A\n";
    }
    return out.Text();
}

std::vector<std::uint8_t> ExpectedImage(const std::vector<Segment>& segments) {
    std::uint64_t end = 0;
    for (const Segment& s : segments) end = std::max<std::uint64_t>(end, std::uint64_t{s.address} + s.bytes.size());
    std::vector<std::uint8_t> image(end, 0x00);
    std::fill(image.begin(), image.begin() + std::min<std::uint64_t>(end, 0x10000), 0xFF);
    for (const Segment& s : segments) std::copy(s.bytes.begin(), s.bytes.end(), image.begin() + s.address);
    return image;
}

}  // namespace hexmodel
