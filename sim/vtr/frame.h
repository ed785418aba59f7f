#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korvel::sim::vtr {

using Bytes = std::vector<std::uint8_t>;

// A Sony 9-pin frame: CMD1 (group in the high nibble, data count in the low nibble), CMD2, up
// to 15 data bytes, and a checksum that is the low 8 bits of the sum of all bytes before it.
constexpr std::size_t kMaxFrameLength = 18;
constexpr std::size_t kMaxDataLength = 15;

// Error bits of the NAK reply's data byte.
constexpr std::uint8_t kNakUndefinedCommand = 0x01;
constexpr std::uint8_t kNakChecksumError = 0x04;
constexpr std::uint8_t kNakTimeOut = 0x80;

std::uint8_t checksumOf(std::span<const std::uint8_t> bytes);

// The whole length of a frame that starts with this CMD1 byte.
constexpr std::size_t frameLengthFor(std::uint8_t cmd1) {
    return (cmd1 & 0x0Fu) + 3u;
}

// True when the last byte of a frame is the checksum of the bytes before it.
bool hasValidChecksum(std::span<const std::uint8_t> frame);

// Builds a frame of the group (0x00 to 0xF0) and CMD2 with the data (at most 15 bytes; more are
// cut off) and its checksum.
Bytes makeFrame(std::uint8_t group, std::uint8_t cmd2, std::span<const std::uint8_t> data = {});

Bytes makeAck();
Bytes makeNak(std::uint8_t errorBits);

}  // namespace korvel::sim::vtr
