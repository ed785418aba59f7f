#include "engine/command_table.h"

#include <initializer_list>

namespace korvel::engine {
namespace {

// A transport command is followed by a time and a status request, so that its effect
// reaches the slots as soon as the machine has answered.
constexpr std::initializer_list<unsigned> kRefreshAfterTransport = {kCurrentTimeSense,
                                                                    kStatusSense};

void setFrame(CommandPlan& plan, std::initializer_list<std::uint8_t> bytes) {
    plan.sendsFrame = true;
    int i = 0;
    for (std::uint8_t b : bytes) plan.frame[i++] = b;
}

void setFollowUps(CommandPlan& plan, std::initializer_list<unsigned> numbers) {
    for (unsigned n : numbers) plan.followUps[plan.followUpCount++] = n;
}

// Variable, shuttle and jog: CMD2 by direction, then the speed byte.
void setSpeedFrame(CommandPlan& plan, std::uint8_t forward, std::uint8_t reverse,
                   std::int32_t value) {
    // Unsigned arithmetic: the magnitude of the most negative value must not overflow.
    const std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    setFrame(plan, {0x21, value < 0 ? reverse : forward, static_cast<std::uint8_t>(magnitude)});
}

void setCuePointFrame(CommandPlan& plan, std::uint8_t cmd1, std::uint8_t cmd2,
                      const Timecode& cue) {
    setFrame(plan, {cmd1, cmd2, cue.frames, cue.seconds, cue.minutes, cue.hours});
}

std::uint8_t highByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value >> 8);
}
std::uint8_t lowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value);
}

}  // namespace

CommandPlan planCommand(unsigned number, std::int32_t value, const Timecode& cuePoint) {
    CommandPlan plan;
    plan.known = true;
    switch (number) {
        case kStop:
            setFrame(plan, {0x20, 0x00});
            plan.panelText = "Stop";
            setFollowUps(plan, {kStandbyOn, kFullEeOff});
            break;
        case kPlay:
            setFrame(plan, {0x20, 0x01});
            plan.panelText = "Play";
            setFollowUps(plan, kRefreshAfterTransport);
            break;
        case kRecord:
            setFrame(plan, {0x20, 0x02});
            plan.panelText = "Rec";
            setFollowUps(plan, {kCurrentTimeSense, kStatusSense, kExtendedStatusSense});
            break;
        case kRewind:
            setFrame(plan, {0x20, 0x20});
            plan.panelText = "Rew";
            setFollowUps(plan, kRefreshAfterTransport);
            break;
        case kFastForward:
            setFrame(plan, {0x20, 0x10});
            plan.panelText = "FFwd";
            setFollowUps(plan, kRefreshAfterTransport);
            break;
        case kEject:
            setFrame(plan, {0x20, 0x0F});
            plan.panelText = "Eject";
            setFollowUps(plan, {kStatusSense});
            break;
        case kVariable:
            setSpeedFrame(plan, 0x12, 0x22, value);
            plan.panelText = "VAR";
            setFollowUps(plan, kRefreshAfterTransport);
            break;
        case kShuttle:
            setSpeedFrame(plan, 0x13, 0x23, value);
            plan.panelText = "SHUTL";
            setFollowUps(plan, kRefreshAfterTransport);
            break;
        case kJog:
            setSpeedFrame(plan, 0x11, 0x21, value);
            plan.panelText = "JOG";
            setFollowUps(plan, kRefreshAfterTransport);
            break;
        case kStandbyOff:
            setFrame(plan, {0x20, 0x04});
            plan.panelText = "SB Off";
            setFollowUps(plan, {kStatusSense});
            break;
        case kStandbyOn:
            setFrame(plan, {0x20, 0x05});
            setFollowUps(plan, {kStatusSense});
            break;
        case kPreroll:
            setFrame(plan, {0x20, 0x30});
            break;
        case kCueUpWithData:
            setCuePointFrame(plan, 0x24, 0x31, cuePoint);
            plan.panelText = "Cue";
            break;
        case kSetCueFromTimecode:
            plan.panelText = "SetCue";
            break;
        case kCurrentTimeSense:
            setFrame(plan, {0x61, 0x0C, 0x01});
            break;
        case kInPreset:
            setCuePointFrame(plan, 0x44, 0x14, cuePoint);
            break;
        case kInEntry:
            setFrame(plan, {0x40, 0x10});
            break;
        case kOutPreset:
            setCuePointFrame(plan, 0x44, 0x15, cuePoint);
            break;
        case kOutEntry:
            setFrame(plan, {0x40, 0x11});
            break;
        case kGroupA32On:
            setFrame(plan, {0xA3, 0x32, 0x09, 0x01, 0x00});
            break;
        case kGroupA33On:
            setFrame(plan, {0xA3, 0x33, 0x09, 0x01, 0x00});
            break;
        case kGroupA33Off:
            setFrame(plan, {0xA3, 0x33, 0x09, 0x00, 0x00});
            break;
        case kGroupA35Off:
            setFrame(plan, {0xA3, 0x35, 0x09, 0x00, 0x00});
            break;
        case kGroup2A7:
            setFrame(plan, {0x25, 0xA7, 0x40, 0x01, 0x00, highByte(value), lowByte(value)});
            break;
        case kGroup2AC:
            setFrame(plan, {0x22, 0xAC, highByte(value), lowByte(value)});
            break;
        case kExtendedStatusSense:
            setFrame(plan, {0x61, 0x20, 0x09});
            break;
        case kSelectEeOn:
            setFrame(plan, {0x20, 0x63});
            break;
        case kFullEeOff:
            setFrame(plan, {0x20, 0x60});
            break;
        case kFullEeOn:
            setFrame(plan, {0x20, 0x61});
            break;
        case kStatusSense:
            setFrame(plan, {0x61, 0x20, 0x05});
            break;
        default:
            plan.known = false;
            break;
    }
    return plan;
}

const char* commandName(unsigned number) {
    switch (number) {
        case kStop:
            return "STOP";
        case kPlay:
            return "PLAY";
        case kRecord:
            return "RECORD";
        case kRewind:
            return "REWIND";
        case kFastForward:
            return "FAST FWD";
        case kEject:
            return "EJECT";
        case kVariable:
            return "VAR";
        case kShuttle:
            return "SHUTTLE";
        case kJog:
            return "JOG";
        case kStandbyOff:
            return "STANDBY OFF";
        case kStandbyOn:
            return "STANDBY ON";
        case kPreroll:
            return "PREROLL";
        case kCueUpWithData:
            return "CUE UP WITH DATA";
        case kSetCueFromTimecode:
            return "SET CUE FROM TIMECODE";
        case kCurrentTimeSense:
            return "CURRENT TIME SENSE";
        case kInPreset:
            return "IN DATA PRESET";
        case kInEntry:
            return "IN ENTRY";
        case kOutPreset:
            return "OUT DATA PRESET";
        case kOutEntry:
            return "OUT ENTRY";
        case kGroupA32On:
            return "A3 32 ON";
        case kGroupA33On:
            return "A3 33 ON";
        case kGroupA33Off:
            return "A3 33 OFF";
        case kGroupA35Off:
            return "A3 35 OFF";
        case kGroup2A7:
            return "25 A7";
        case kGroup2AC:
            return "22 AC";
        case kExtendedStatusSense:
            return "STATUS SENSE 9";
        case kSelectEeOn:
            return "SELECT EE ON";
        case kFullEeOff:
            return "FULL EE OFF";
        case kFullEeOn:
            return "FULL EE ON";
        case kStatusSense:
            return "STATUS SENSE";
        default:
            return nullptr;
    }
}

FrameCommand commandOfFrame(const std::uint8_t* frame, int length) {
    if (frame == nullptr || length < 3) return {};
    // Two plans with different values and cue points: the bytes they share are the fixed ones.
    // The sign of the value chooses the direction of the speed commands.
    const Timecode cueA{0x01, 0x02, 0x03, 0x04};
    const Timecode cueB{0x05, 0x06, 0x07, 0x08};
    for (unsigned number : kCommandNumbers) {
        for (std::int32_t sign : {1, -1}) {
            const CommandPlan a = planCommand(number, sign * 0x0102, cueA);
            const CommandPlan b = planCommand(number, sign * 0x0304, cueB);
            if (!a.sendsFrame || frameLength(a.frame[0]) != length) continue;
            bool fits = true;
            for (int i = 0; i + 1 < length && fits; ++i)
                fits = a.frame[i] != b.frame[i] || frame[i] == a.frame[i];
            if (fits) return {number, sign < 0};
        }
    }
    return {};
}

}  // namespace korvel::engine
