#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <vector>

#include "sim/vtr/frame.h"
#include "sim/vtr/instant.h"

namespace korvel::sim::vtr {

// What the receiver made of the bytes it was given.
struct ReceivedEvent {
    enum class Kind {
        kFrame,        // a complete frame with a good checksum
        kBadChecksum,  // a frame whose checksum failed: answered with a NAK
        kTimedOut,     // an incomplete frame abandoned after a pause: answered with a NAK
        kDiscarded,    // bytes skipped while searching for the next good frame: no answer
    };
    Kind kind;
    Bytes bytes;
};

// Cuts a byte stream into frames by the length nibble of each first byte, as a machine does.
// A checksum failure is reported once; then the receiver slides one byte at a time until a good
// frame lines up again, skipping silently. A frame left incomplete for longer than the byte
// time-out is abandoned (a pause always ends a frame), so the next command after a pause starts
// clean whatever came before it.
class FrameReader {
  public:
    explicit FrameReader(std::chrono::microseconds byteTimeout) : byteTimeout_(byteTimeout) {}

    // Takes bytes that arrived at `now`; returns the events they complete, in stream order.
    std::vector<ReceivedEvent> feed(std::span<const std::uint8_t> bytes, Instant now);

    // Abandons an incomplete frame whose byte time-out has passed by `now`.
    std::vector<ReceivedEvent> expire(Instant now);

    // When the incomplete frame held now times out; none while nothing is held.
    std::optional<Instant> deadline() const;

  private:
    void scan(std::vector<ReceivedEvent>& events);

    std::chrono::microseconds byteTimeout_;
    Bytes pending_;  // never longer than one frame plus the bytes of one feed
    Instant lastByte_{0};
    bool resynchronising_ = false;
};

}  // namespace korvel::sim::vtr
