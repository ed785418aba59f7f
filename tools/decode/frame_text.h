#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace korvel::tools::decode {

// A frame explained in words, from the driver's own command table and reply decoders:
//   "PLAY", "VAR reverse speed 44", "CUE UP WITH DATA 00.01.00.00"
//   "ACK", "NAK: checksum error", "TIMECODE 10.00.01.05 drop frame"
//   "STATUS: play, servo lock (Play)"
// A frame whose checksum fails says so and is not explained further.
bool checksumHolds(std::span<const std::uint8_t> frame);
std::string explainCommand(std::span<const std::uint8_t> frame);
std::string explainReply(std::span<const std::uint8_t> frame);

}  // namespace korvel::tools::decode
