#pragma once

#include <string>
#include <vector>

#include "tools/portcheck/exchange.h"

namespace korvel::tools::portcheck {

// One thing found wrong, and what to do about it.
struct Finding {
    enum class Kind {
        kSilent,        // nothing came back at all
        kEcho,          // our own frames came back
        kBadFrames,     // bytes that make no good frame
        kNak,           // the deck refused questions
        kNoDeviceType,  // the deck does not know the device type request, and only that
        kWrongReply,    // good frames that answer something else
        kUnanswered,    // some questions, not all, went unanswered
        kLocal,         // the deck is switched to local
        kNoTape,        // the deck has no tape
    };
    Kind kind;
    std::string text;            // what was seen and what to check, one or more lines
    bool stopsTheDriver = true;  // false: worth knowing, but the driver works with the deck
};

struct Diagnosis {
    std::vector<Finding> findings;  // none: the deck answered every question correctly
    bool deckWorks() const;         // no finding stops the driver
    // The bytes suggest other line settings on the deck: worth trying the usual ones.
    bool lineSuspect = false;
    // Every reply that made no good frame reads as one of the deck's with its bits inverted:
    // a pair wired A to B, when no other line setting explains them.
    bool looksInverted = false;
};

// What the exchanges on one line setting tell, from what came back alone.
Diagnosis diagnose(const std::vector<Exchange>& exchanges, int timeoutMs);

// Minimum, median and maximum of some round-trip times (all 0 for none).
struct RoundTrips {
    double min = 0, median = 0, max = 0;
    int count = 0;
};
RoundTrips roundTrips(const std::vector<Exchange>& exchanges, Question question);

}  // namespace korvel::tools::portcheck
