// Raw binary: the image is the file's bytes as they are, from address 0. A
// file is binary when its content is no other format (DetectFormat), and a
// buffer is written as binary under any name that asks for no text format;
// ComposeLoad lays a binary file's bytes into the buffer without a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace image {

// A binary file longer than the room cannot fit, whatever it holds.
inline std::uint64_t BinaryReadLimit(std::uint64_t roomLeft) { return roomLeft; }

// Binary written piece by piece: the bytes themselves, no head, no tail (a
// whole buffer is written as it is: EncodeImage).
class BinaryWriter {
public:
    std::string_view Head() const { return {}; }
    // A piece is its bytes, handed on without a copy.
    std::string_view Piece(const std::uint8_t* bytes, std::size_t length) const {
        return std::string_view(reinterpret_cast<const char*>(bytes), length);
    }
    std::string_view Tail() const { return {}; }
};

}  // namespace image
