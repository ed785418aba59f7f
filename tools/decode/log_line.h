#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace korvel::tools::decode {

// Which way bytes went: commands from the driver to a machine, replies back.
enum class Direction { kCommand, kReply };

// One line of a traffic log, taken apart. Three kinds of log are read:
//
//   the driver's disk log (korvel.log)   07/12/2026 09:05:03 TX: 20 01 21
//                                         07/12/2026 09:05:03 Read[vt1] 10 01 11
//   a saved debug trace                   000125:   TX: 20 01 21
//                                         (the milliseconds since the line before; the
//                                         probe's "trace.N " before it is taken too)
//   the deck emulator's log               12.345678 1 rx 20 01 21
//                                         (seconds.microseconds, deck, event, bytes)
//
// The driver's "TX:" lines do not say which VT they went to; vt is 0 for them.
struct LogLine {
    enum class Kind {
        kTraffic,  // bytes on the wire
        kOther,    // a line of a known log that carries no traffic (shown as it is)
        kSkipped,  // no line of any known log, or a traffic line cut short
    };
    enum class Clock {
        kNone,
        kAbsolute,  // time is microseconds since a fixed point
        kDelta,     // time is microseconds since the line before (the trace)
    };
    Kind kind = Kind::kSkipped;
    Direction direction = Direction::kCommand;
    int vt = 0;               // 1 to 9 (a deck number in the emulator's log); 0 unknown
    bool wholeFrame = false;  // the bytes are exactly one frame (else a piece of a stream)
    bool junk = false;        // bytes a machine skipped as noise (the emulator's "drop")
    Clock clock = Clock::kNone;
    std::int64_t time = 0;        // microseconds, as clock says
    std::int64_t resolution = 0;  // microseconds a time may be off by
    std::vector<std::uint8_t> bytes;
};

LogLine parseLogLine(std::string_view line);

}  // namespace korvel::tools::decode
