// Framing of the programming protocol. Both directions use one format:
//
//   offset  size  field
//   0       1     start byte 0xA5
//   1       1     type: a command code from the host, the code | 0x80 in the
//                 target's reply
//   2       1     sequence number; a reply carries the one of its command
//   3       2     payload length n, little-endian, at most kMaxPayload
//   5       n     payload
//   5+n     2     CRC-16 of bytes 1 .. 4+n, little-endian
//
// A receiver that meets a bad length or CRC drops the start byte and hunts
// for the next one, so a corrupted or truncated frame costs only that frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel {

constexpr std::uint8_t kFrameStart = 0xA5;
constexpr std::size_t kFrameHeader = 5;
constexpr std::size_t kFrameTrailer = 2;
constexpr std::size_t kFrameOverhead = kFrameHeader + kFrameTrailer;
// Largest data block of one program command plus its address header.
constexpr std::size_t kMaxPayload = 1024 + 16;

struct Frame {
    std::uint8_t Type = 0;
    std::uint8_t Seq = 0;
    std::vector<std::uint8_t> Payload;
};

// Appends the encoded frame to out. The payload must not exceed kMaxPayload.
void EncodeFrame(std::uint8_t type, std::uint8_t seq, const std::uint8_t* payload, std::size_t size,
                 std::vector<std::uint8_t>& out);
inline void EncodeFrame(const Frame& f, std::vector<std::uint8_t>& out) {
    EncodeFrame(f.Type, f.Seq, f.Payload.data(), f.Payload.size(), out);
}

// Incremental decoder: feed it bytes as they arrive, take whole frames out.
class FrameParser {
public:
    // Consumes size bytes. Never fails: bad data is counted and skipped.
    void Feed(const std::uint8_t* data, std::size_t size);
    // Takes the oldest complete frame, if any.
    bool Next(Frame& frame);
    // Forgets buffered bytes and frames (after a rate change or a purge).
    void Reset();

    // Bytes that are buffered but not yet part of a whole frame. The host
    // uses it to read exactly the rest of a frame from the port.
    std::size_t BytesMissing() const;

    std::size_t CrcErrors() const { return crcErrors_; }
    std::size_t DroppedBytes() const { return dropped_; }

private:
    void Scan();

    std::vector<std::uint8_t> buf_;
    std::vector<Frame> ready_;
    std::size_t readyHead_ = 0;
    std::size_t crcErrors_ = 0;
    std::size_t dropped_ = 0;
};

// Little-endian field helpers for payloads.
inline void PutU16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
inline void PutU32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
inline std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void SetU32(std::uint8_t* p, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(x >> (8 * i));
}

}  // namespace tarvel
