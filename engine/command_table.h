#pragma once

#include <cstdint>

#include "engine/frame.h"

namespace korvel::engine {

// Internal command numbers: the same numbers the control system writes into a VT's
// command slot. The names say what the machine is asked.
enum CommandNumber : unsigned {
    kStop = 1,
    kPlay = 2,
    kRecord = 3,
    kRewind = 4,
    kFastForward = 5,
    kEject = 6,
    kVariable = 7,
    kShuttle = 8,
    kJog = 9,
    kStandbyOff = 11,
    kStandbyOn = 12,
    kPreroll = 20,
    kCueUpWithData = 21,
    kSetCueFromTimecode = 22,
    kCurrentTimeSense = 23,
    kInPreset = 31,
    kInEntry = 32,
    kOutPreset = 33,
    kOutEntry = 34,
    kGroupA32On = 41,
    kGroupA33On = 42,
    kGroupA33Off = 43,
    kGroupA35Off = 44,
    kGroup2A7 = 51,
    kGroup2AC = 52,
    kExtendedStatusSense = 93,
    kSelectEeOn = 96,
    kFullEeOff = 97,
    kFullEeOn = 98,
    kStatusSense = 99,
};

// What one command number asks for: the frame to send (checksum not yet added), the text
// for the VT's "Last Cmd" field, and the commands that follow it, in order.
struct CommandPlan {
    bool known = false;       // a number outside the table sends nothing and changes nothing
    bool sendsFrame = false;  // set cue from timecode is known but sends nothing
    FrameRecord frame{};
    const char* panelText = nullptr;
    unsigned followUps[3] = {};
    int followUpCount = 0;
};

// Builds the plan of a command. value is used by the variable, shuttle and jog commands
// (sign: direction; low byte of its magnitude: speed) and by the two group 2 commands
// (its low 16 bits). The cue and preset commands carry the cue point.
CommandPlan planCommand(unsigned number, std::int32_t value, const Timecode& cuePoint);

}  // namespace korvel::engine
