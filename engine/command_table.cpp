#include "engine/command_table.h"

namespace korvel::engine {
namespace {

using enum ArgumentKind;
constexpr ReplyGroup kAck = ReplyGroup::kAcknowledge;

// A transport command is followed by a time and a status request, so that its effect
// reaches the slots as soon as the machine has answered.
constexpr ShortList<unsigned, 3> kRefreshAfterTransport{kCurrentTimeSense, kStatusSense};

// A new command is one row: its number (and a name for it in CommandNumber), the frame's
// fixed bytes, the kind of argument that follows them, the follow-ups and the reply.
constexpr ReplyGroup kTime = ReplyGroup::kTimecode;
constexpr ReplyGroup kStatus = ReplyGroup::kStatus;
constexpr ReplyGroup kStatus9 = ReplyGroup::kExtendedStatus;
// clang-format off
constexpr CommandRow kTable[] = {
    // number, name, panel text, fixed bytes, argument, reverse CMD2, follow-ups, reply
    {kStop, "STOP", "Stop", {0x20, 0x00}, kNone, 0, {kStandbyOn, kFullEeOff}, kAck},
    {kPlay, "PLAY", "Play", {0x20, 0x01}, kNone, 0, kRefreshAfterTransport, kAck},
    {kRecord, "RECORD", "Rec", {0x20, 0x02}, kNone, 0,
        {kCurrentTimeSense, kStatusSense, kExtendedStatusSense}, kAck},
    {kRewind, "REWIND", "Rew", {0x20, 0x20}, kNone, 0, kRefreshAfterTransport, kAck},
    {kFastForward, "FAST FWD", "FFwd", {0x20, 0x10}, kNone, 0, kRefreshAfterTransport, kAck},
    {kEject, "EJECT", "Eject", {0x20, 0x0F}, kNone, 0, {kStatusSense}, kAck},
    {kVariable, "VAR", "VAR", {0x21, 0x12}, kSpeed, 0x22, kRefreshAfterTransport, kAck},
    {kShuttle, "SHUTTLE", "SHUTL", {0x21, 0x13}, kSpeed, 0x23, kRefreshAfterTransport, kAck},
    {kJog, "JOG", "JOG", {0x21, 0x11}, kSpeed, 0x21, kRefreshAfterTransport, kAck},
    {kStandbyOff, "STANDBY OFF", "SB Off", {0x20, 0x04}, kNone, 0, {kStatusSense}, kAck},
    {kStandbyOn, "STANDBY ON", nullptr, {0x20, 0x05}, kNone, 0, {kStatusSense}, kAck},
    {kPreroll, "PREROLL", nullptr, {0x20, 0x30}, kNone, 0, {}, kAck},
    {kCueUpWithData, "CUE UP WITH DATA", "Cue", {0x24, 0x31}, kCuePoint, 0, {}, kAck},
    {kSetCueFromTimecode, "SET CUE FROM TIMECODE", "SetCue", {}, kNone, 0, {}, kAck},
    {kCurrentTimeSense, "CURRENT TIME SENSE", nullptr, {0x61, 0x0C, 0x01}, kNone, 0, {}, kTime},
    {kInPreset, "IN DATA PRESET", nullptr, {0x44, 0x14}, kCuePoint, 0, {}, kAck},
    {kInEntry, "IN ENTRY", nullptr, {0x40, 0x10}, kNone, 0, {}, kAck},
    {kOutPreset, "OUT DATA PRESET", nullptr, {0x44, 0x15}, kCuePoint, 0, {}, kAck},
    {kOutEntry, "OUT ENTRY", nullptr, {0x40, 0x11}, kNone, 0, {}, kAck},
    {kGroupA32On, "A3 32 ON", nullptr, {0xA3, 0x32, 0x09, 0x01, 0x00}, kNone, 0, {}, kAck},
    {kGroupA33On, "A3 33 ON", nullptr, {0xA3, 0x33, 0x09, 0x01, 0x00}, kNone, 0, {}, kAck},
    {kGroupA33Off, "A3 33 OFF", nullptr, {0xA3, 0x33, 0x09, 0x00, 0x00}, kNone, 0, {}, kAck},
    {kGroupA35Off, "A3 35 OFF", nullptr, {0xA3, 0x35, 0x09, 0x00, 0x00}, kNone, 0, {}, kAck},
    {kGroup2A7, "25 A7", nullptr, {0x25, 0xA7, 0x40, 0x01, 0x00}, kValue16, 0, {}, kAck},
    {kGroup2AC, "22 AC", nullptr, {0x22, 0xAC}, kValue16, 0, {}, kAck},
    {kExtendedStatusSense, "STATUS SENSE 9", nullptr, {0x61, 0x20, 0x09}, kNone, 0, {}, kStatus9},
    {kSelectEeOn, "SELECT EE ON", nullptr, {0x20, 0x63}, kNone, 0, {}, kAck},
    {kFullEeOff, "FULL EE OFF", nullptr, {0x20, 0x60}, kNone, 0, {}, kAck},
    {kFullEeOn, "FULL EE ON", nullptr, {0x20, 0x61}, kNone, 0, {}, kAck},
    {kStatusSense, "STATUS SENSE", nullptr, {0x61, 0x20, 0x05}, kNone, 0, {}, kStatus},
};
// clang-format on

// A row's frame is its fixed bytes and its argument, as long as CMD1's data count says.
constexpr bool rowIsWellFormed(const CommandRow& row) {
    if (row.fixed.count == 0) return row.argument == kNone;
    return row.fixed.count >= 2 &&
           frameLength(row.fixed.items[0]) == row.fixed.count + argumentLength(row.argument) + 1 &&
           (row.argument == kSpeed) == (row.reverseCmd2 != 0);
}

constexpr bool tableIsWellFormed() {
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        if (!rowIsWellFormed(kTable[i])) return false;
        if (i > 0 && kTable[i - 1].number >= kTable[i].number) return false;
    }
    return true;
}
static_assert(tableIsWellFormed(), "a command row's bytes disagree with its CMD1, or out of order");

std::uint8_t highByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value >> 8);
}
std::uint8_t lowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value);
}

// Writes the argument behind the fixed bytes at frame[at].
void putArgument(const CommandRow& row, std::int32_t value, const Timecode& cue, FrameRecord& frame,
                 int at) {
    switch (row.argument) {
        case kSpeed: {
            // Unsigned arithmetic: the magnitude of the most negative value must not overflow.
            const std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                                      : static_cast<std::uint32_t>(value);
            if (value < 0) frame[1] = row.reverseCmd2;
            frame[at] = static_cast<std::uint8_t>(magnitude);
            break;
        }
        case kCuePoint:
            frame[at] = cue.frames;
            frame[at + 1] = cue.seconds;
            frame[at + 2] = cue.minutes;
            frame[at + 3] = cue.hours;
            break;
        case kValue16:
            frame[at] = highByte(value);
            frame[at + 1] = lowByte(value);
            break;
        case kNone:
            break;
    }
}

}  // namespace

std::span<const CommandRow> commandTable() {
    return kTable;
}

const CommandRow* commandRow(unsigned number) {
    for (const CommandRow& row : kTable)
        if (row.number == number) return &row;
    return nullptr;
}

CommandPlan planCommand(unsigned number, std::int32_t value, const Timecode& cuePoint) {
    CommandPlan plan;
    const CommandRow* row = commandRow(number);
    if (row == nullptr) return plan;
    plan.known = true;
    plan.panelText = row->panelText;
    for (int i = 0; i < row->followUps.count; ++i) plan.followUps[i] = row->followUps.items[i];
    plan.followUpCount = row->followUps.count;
    if (row->fixed.count == 0) return plan;
    plan.sendsFrame = true;
    for (int i = 0; i < row->fixed.count; ++i) plan.frame[i] = row->fixed.items[i];
    putArgument(*row, value, cuePoint, plan.frame, row->fixed.count);
    return plan;
}

const char* commandName(unsigned number) {
    const CommandRow* row = commandRow(number);
    return row != nullptr ? row->name : nullptr;
}

FrameCommand commandOfFrame(const std::uint8_t* frame, int length) {
    if (frame == nullptr || length < 3) return {};
    for (const CommandRow& row : kTable) {
        const int fixed = row.fixed.count;
        if (fixed == 0 || fixed + argumentLength(row.argument) + 1 != length) continue;
        const bool reverse = row.argument == kSpeed && frame[1] == row.reverseCmd2;
        bool fits = frame[0] == row.fixed.items[0] && (reverse || frame[1] == row.fixed.items[1]);
        for (int i = 2; i < fixed && fits; ++i) fits = frame[i] == row.fixed.items[i];
        if (fits) return {row.number, reverse};
    }
    return {};
}

}  // namespace korvel::engine
