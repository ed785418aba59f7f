#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::sim::vtr {

// Tape positions are counted in frames from 00:00:00:00 at 25 frames per second.
constexpr std::int64_t kFramesPerSecond = 25;
constexpr std::int64_t kFramesPerDay = kFramesPerSecond * 60 * 60 * 24;

// Four BCD bytes in wire order: frames, seconds, minutes, hours.
using BcdTimecode = std::array<std::uint8_t, 4>;

BcdTimecode toBcd(std::int64_t frames);

// The frame count of four BCD bytes; the flag bits a machine sets beside the digits (frames
// bits 6-7, seconds bit 7, minutes bit 7, hours bits 6-7) are ignored. None when a digit is not
// decimal or a field is out of range.
std::optional<std::int64_t> fromBcd(const BcdTimecode& bcd);

// "HH:MM:SS:FF" (any of ':' '.' ';' between the fields).
std::optional<std::int64_t> parseTimecode(std::string_view text);
std::string formatTimecode(std::int64_t frames);

}  // namespace korvel::sim::vtr
