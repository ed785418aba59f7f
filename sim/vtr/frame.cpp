#include "sim/vtr/frame.h"

#include <algorithm>

namespace korvel::sim::vtr {

std::uint8_t checksumOf(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

bool hasValidChecksum(std::span<const std::uint8_t> frame) {
    if (frame.size() < 3) return false;
    return checksumOf(frame.first(frame.size() - 1)) == frame.back();
}

Bytes makeFrame(std::uint8_t group, std::uint8_t cmd2, std::span<const std::uint8_t> data) {
    const std::size_t count = std::min(data.size(), kMaxDataLength);
    Bytes frame;
    frame.reserve(count + 3);
    frame.push_back(static_cast<std::uint8_t>((group & 0xF0u) | count));
    frame.push_back(cmd2);
    frame.insert(frame.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count));
    frame.push_back(checksumOf(frame));
    return frame;
}

Bytes makeAck() {
    return makeFrame(0x10, 0x01);
}

Bytes makeNak(std::uint8_t errorBits) {
    const std::uint8_t data[] = {errorBits};
    return makeFrame(0x10, 0x12, data);
}

}  // namespace korvel::sim::vtr
