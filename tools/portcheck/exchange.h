#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace korvel::tools::portcheck {

// The three questions put to a deck, in the order asked each round.
enum class Question { kDeviceType, kStatus, kTimecode };
inline constexpr Question kQuestions[] = {Question::kDeviceType, Question::kStatus,
                                          Question::kTimecode};

const char* questionName(Question question);
// The frame that asks it, checksum included: 00 11, 61 20 09 (the driver's status sense of
// nine bytes) and 61 0C 01 (the driver's current time sense).
std::vector<std::uint8_t> questionFrame(Question question);

// What the bytes that came back after a question make of it.
struct ReplyCheck {
    enum class Kind {
        kNothing,     // no frame of the deck's (our own echoed frames aside)
        kGood,        // the reply the question asks for
        kNak,         // a negative acknowledgement
        kWrongReply,  // a frame that checks, but answers something else
        kBadFrame,    // bytes that make no frame whose checksum holds
    };
    Kind kind = Kind::kNothing;
    bool echoed = false;  // our own frame came back
    bool done = false;    // a reply frame is complete: nothing more to wait for
    // Bytes that make no good frame, but a frame of the deck's once every bit is turned over:
    // what a receive pair wired A to B makes of a deck's reply.
    bool inverted = false;
    std::vector<std::uint8_t> frame;  // the reply frame, unless kNothing or kBadFrame
};

// Reads the bytes received so far as 9-pin frames: our own frame coming back is noted and
// passed over, a frame that checks ends the reply, bytes that do not make one are bad.
ReplyCheck checkReply(Question question, std::span<const std::uint8_t> received);

// One question asked and what came back.
struct Exchange {
    Question question = Question::kStatus;
    ReplyCheck reply;
    double roundTripMs = 0;  // from the write to the reply's last byte, for a reply
};

}  // namespace korvel::tools::portcheck
