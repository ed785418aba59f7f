#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "sim/vtr/frame.h"

namespace korvel::sim::vtr {

// Misbehaviour switched on for one deck, to test how a controller copes with it. They combine;
// clearing a deck switches all of them off.
struct Faults {
    bool silent = false;           // frames are received and logged, nothing is answered
    bool corruptChecksum = false;  // every reply carries a wrong checksum
    int nakCount = 0;              // the next so many commands are answered with a NAK
    std::uint8_t nakError = kNakChecksumError;  // the error bits of those NAKs
    int garbageBytes = 0;                       // this many random bytes go out before every reply
    std::optional<std::chrono::milliseconds> splitDelay;  // replies go out in two writes
    std::chrono::milliseconds replyDelay{0};              // replies go out this late
    bool portClosed = false;  // the pseudo-terminal is closed, the port has vanished
    bool echo = false;        // every byte received goes straight back (TX and RX joined)
    bool invert = false;      // every byte sent goes out with its bits inverted (A/B swapped)
};

}  // namespace korvel::sim::vtr
