#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/vtr/frame.h"

namespace korvel::sim::vtr {

// One line of the control channel (or of a --command option):
//
//   deck N fault silent | corrupt | nak COUNT [ERRBITS] | garbage [COUNT] | split [MS]
//                | delay MS | closed | echo
//   deck N clear
//   deck N local on|off
//   deck N tape in|out
//   deck N inhibit on|off
//   deck N show                  (the deck's state goes to the log)
//
// N counts the decks from 1 in the order of their --link options; "all" addresses every deck.
// ERRBITS is the NAK's error byte in hexadecimal (default 04, checksum error).
struct ControlCommand {
    enum class Action {
        kSilent,
        kCorrupt,
        kNak,
        kGarbage,
        kSplit,
        kDelay,
        kClosed,
        kEcho,
        kInvert,
        kShow,
        kClear,
        kLocal,
        kTape,
        kInhibit
    };
    static constexpr int kAllDecks = 0;

    int deck = kAllDecks;
    Action action = Action::kClear;
    int value = 0;  // count, milliseconds, or 1 for on / in and 0 for off / out
    std::uint8_t nakError = kNakChecksumError;
};

struct ControlParse {
    std::optional<ControlCommand> command;  // none when the line is wrong
    std::string error;                      // why, when it is
};

constexpr int kDefaultGarbageBytes = 4;
constexpr int kDefaultSplitMs = 5;

ControlParse parseControlLine(std::string_view line);

}  // namespace korvel::sim::vtr
