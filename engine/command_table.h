#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "engine/frame.h"
#include "engine/reply_meaning.h"

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

// What follows a command's fixed bytes on the wire, taken from the command's value or the
// VT's cue point.
enum class ArgumentKind : std::uint8_t {
    kNone,
    kSpeed,     // the value's sign chooses CMD2 (forward or reverse), the low byte of its
                // magnitude is the speed
    kCuePoint,  // the cue point as a timecode: frames, seconds, minutes, hours
    kValue16,   // the value's low 16 bits, high byte first
};

// Bytes of the argument kind on the wire.
constexpr int argumentLength(ArgumentKind kind) {
    switch (kind) {
        case ArgumentKind::kSpeed:
            return 1;
        case ArgumentKind::kCuePoint:
            return 4;
        case ArgumentKind::kValue16:
            return 2;
        default:
            return 0;
    }
}

// A short list of bytes or numbers written in a table row as {a, b, c}.
template <typename T, int Capacity>
struct ShortList {
    T items[Capacity] = {};
    int count = 0;
    constexpr ShortList() = default;
    constexpr ShortList(std::initializer_list<T> list) {
        for (T item : list) items[count++] = item;
    }
};

// One command: what the driver sends for it and what the traffic decoder says of it.
struct CommandRow {
    unsigned number = 0;
    const char* name = nullptr;        // the machine's name for it ("PLAY", "CUE UP WITH DATA")
    const char* panelText = nullptr;   // the VT's "Last Cmd" text; null leaves it as it is
    ShortList<std::uint8_t, 5> fixed;  // CMD1, CMD2 and the data bytes before the argument;
                                       // none: the command sends no frame
    ArgumentKind argument = ArgumentKind::kNone;
    std::uint8_t reverseCmd2 = 0;                 // CMD2 of a speed command that runs backwards
    ShortList<unsigned, 3> followUps;             // commands sent after it, in order
    ReplyGroup reply = ReplyGroup::kAcknowledge;  // what the machine answers
};

// Every command the driver knows, in the order of their numbers.
std::span<const CommandRow> commandTable();

// The row of a command number; null for a number the table does not know.
const CommandRow* commandRow(unsigned number);

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

// Builds the plan of a command from its row: value fills a speed or 16-bit argument, the cue
// point a cue point argument.
CommandPlan planCommand(unsigned number, std::int32_t value, const Timecode& cuePoint);

// The machine's name for what a command asks ("PLAY", "CUE UP WITH DATA"); null for a number
// the table does not know.
const char* commandName(unsigned number);

// The command a frame on the wire is: the row whose fixed bytes it carries, at the length the
// row sends, whatever its argument. number is 0 when no row matches; reverse is set for a speed
// command that runs backwards.
struct FrameCommand {
    unsigned number = 0;
    bool reverse = false;
};
FrameCommand commandOfFrame(const std::uint8_t* frame, int length);

}  // namespace korvel::engine
