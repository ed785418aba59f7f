#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvel::engine {

// A Sony 9-pin frame: CMD1 (group in the high nibble, data count in the low nibble), CMD2,
// up to 15 data bytes and a checksum, the low byte of the sum of all bytes before it.
// Commands are built in a record of the longest frame, cleared to zero.
inline constexpr std::size_t kMaxFrameLength = 18;
using FrameRecord = std::array<std::uint8_t, kMaxFrameLength>;

// Length of the frame whose first byte is cmd1: its data count plus three.
constexpr int frameLength(std::uint8_t cmd1) {
    return (cmd1 & 0x0F) + 3;
}

// Low byte of the sum of the first count bytes.
std::uint8_t frameChecksum(const std::uint8_t* bytes, int count);

// Writes the checksum behind the data; returns the frame's whole length.
int completeFrame(FrameRecord& frame);

// Writes "xx " for each byte, in lower or upper case hexadecimal, and a terminating zero;
// out needs room for 3 * count + 1 characters. Returns the characters written.
int appendHexBytes(char* out, const std::uint8_t* bytes, int count, bool upperCase);

// A timecode or cue point: four BCD bytes, as the machine sends them.
struct Timecode {
    std::uint8_t frames = 0;
    std::uint8_t seconds = 0;
    std::uint8_t minutes = 0;
    std::uint8_t hours = 0;

    bool operator==(const Timecode&) const = default;
};

// A decimal number as two BCD digits, cut to a byte: 12 gives 0x12.
std::uint8_t toBcd(std::uint32_t decimal);

// Removes the flag bits a machine reports in the timecode bytes.
Timecode withoutFlagBits(const Timecode& timecode);

// "hh.mm.ss.ff": BCD printed in hexadecimal reads as its decimal digits.
struct TimecodeText {
    char text[16];
};
TimecodeText formatTimecode(const Timecode& timecode);

}  // namespace korvel::engine
