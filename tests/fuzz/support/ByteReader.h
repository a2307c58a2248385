// Draws numbers from a fuzz input; runs out into zeros, never fails.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hexmodel {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t U32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return v;
    }
    // A value in [lo, hi].
    std::uint32_t Range(std::uint32_t lo, std::uint32_t hi) {
        const std::uint64_t span = std::uint64_t{hi} - lo + 1;
        return static_cast<std::uint32_t>(lo + U32() % span);
    }
    bool Bool() { return Byte() & 1; }
    bool Empty() const { return pos_ >= size_; }
    std::size_t Left() const { return size_ - pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace hexmodel
