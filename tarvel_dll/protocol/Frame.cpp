#include "tarvel_dll/protocol/Frame.h"

#include <algorithm>

#include "tarvel_dll/protocol/Crc.h"

namespace tarvel {

void EncodeFrame(std::uint8_t type, std::uint8_t seq, const std::uint8_t* payload, std::size_t size,
                 std::vector<std::uint8_t>& out) {
    if (size > kMaxPayload) size = kMaxPayload;  // callers never ask for more
    const std::size_t start = out.size();
    out.push_back(kFrameStart);
    out.push_back(type);
    out.push_back(seq);
    PutU16(out, static_cast<std::uint16_t>(size));
    if (size != 0) out.insert(out.end(), payload, payload + size);
    PutU16(out, Crc16(out.data() + start + 1, out.size() - start - 1));
}

void FrameParser::Feed(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    buf_.insert(buf_.end(), data, data + size);
    Scan();
}

void FrameParser::Scan() {
    std::size_t pos = 0;
    for (;;) {
        // Hunt for a start byte.
        const auto it = std::find(buf_.begin() + static_cast<std::ptrdiff_t>(pos), buf_.end(), kFrameStart);
        const std::size_t at = static_cast<std::size_t>(it - buf_.begin());
        dropped_ += at - pos;
        pos = at;
        if (buf_.size() - pos < kFrameHeader) break;
        const std::size_t len = GetU16(&buf_[pos + 3]);
        if (len > kMaxPayload) {
            ++dropped_;
            ++pos;
            continue;
        }
        const std::size_t total = kFrameHeader + len + kFrameTrailer;
        if (buf_.size() - pos < total) break;
        const std::uint16_t crc = Crc16(&buf_[pos + 1], kFrameHeader - 1 + len);
        if (crc != GetU16(&buf_[pos + kFrameHeader + len])) {
            // Perhaps the start byte was data of a lost frame: drop only it.
            ++crcErrors_;
            ++dropped_;
            ++pos;
            continue;
        }
        Frame f;
        f.Type = buf_[pos + 1];
        f.Seq = buf_[pos + 2];
        f.Payload.assign(buf_.begin() + static_cast<std::ptrdiff_t>(pos + kFrameHeader),
                         buf_.begin() + static_cast<std::ptrdiff_t>(pos + kFrameHeader + len));
        ready_.push_back(std::move(f));
        pos += total;
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(pos));
}

bool FrameParser::Next(Frame& frame) {
    if (readyHead_ >= ready_.size()) return false;
    frame = std::move(ready_[readyHead_++]);
    if (readyHead_ == ready_.size()) {
        ready_.clear();
        readyHead_ = 0;
    }
    return true;
}

void FrameParser::Reset() {
    buf_.clear();
    ready_.clear();
    readyHead_ = 0;
}

std::size_t FrameParser::BytesMissing() const {
    if (buf_.empty()) return kFrameHeader;
    if (buf_.size() < kFrameHeader) return kFrameHeader - buf_.size();
    const std::size_t len = GetU16(&buf_[3]);
    if (len > kMaxPayload) return 1;
    const std::size_t total = kFrameHeader + len + kFrameTrailer;
    return total > buf_.size() ? total - buf_.size() : 1;
}

}  // namespace tarvel
