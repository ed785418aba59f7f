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

// Every number the table knows, in table order.
inline constexpr unsigned kCommandNumbers[] = {
    kStop,
    kPlay,
    kRecord,
    kRewind,
    kFastForward,
    kEject,
    kVariable,
    kShuttle,
    kJog,
    kStandbyOff,
    kStandbyOn,
    kPreroll,
    kCueUpWithData,
    kSetCueFromTimecode,
    kCurrentTimeSense,
    kInPreset,
    kInEntry,
    kOutPreset,
    kOutEntry,
    kGroupA32On,
    kGroupA33On,
    kGroupA33Off,
    kGroupA35Off,
    kGroup2A7,
    kGroup2AC,
    kExtendedStatusSense,
    kSelectEeOn,
    kFullEeOff,
    kFullEeOn,
    kStatusSense,
};

// The machine's name for what a command asks ("PLAY", "CUE UP WITH DATA"); null for a number
// the table does not know.
const char* commandName(unsigned number);

// The command a frame on the wire is: the table's entry whose fixed bytes (all but the speed,
// value and cue point) it carries, at the length the entry sends. number is 0 when no entry
// matches; reverse is set for a variable, shuttle or jog frame that runs backwards.
struct FrameCommand {
    unsigned number = 0;
    bool reverse = false;
};
FrameCommand commandOfFrame(const std::uint8_t* frame, int length);

}  // namespace korvel::engine
