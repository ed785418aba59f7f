#include "engine/reply_meaning.h"

namespace korvel::engine {
namespace {

// Tested in this order; the first bit set gives the state.
constexpr TransportRule kTransportRules[] = {
    {2, 0x01, 21, "Cued"}, {4, 0x01, 10, "Cueing"}, {2, 0x20, 8, "Shuttle"}, {2, 0x10, 9, "Jog"},
    {2, 0x08, 7, "Var"},   {1, 0x02, 3, "Rec"},     {1, 0x01, 2, "Play"},    {1, 0x04, 5, "FFwd"},
    {1, 0x08, 4, "Rew"},   {1, 0x20, 1, "Stop"},
};

constexpr NamedBit kStatusBits[] = {
    {0, 0x01, "local"},     {0, 0x20, "tape out"},
    {1, 0x01, "play"},      {1, 0x02, "record"},
    {1, 0x04, "fast fwd"},  {1, 0x08, "rewind"},
    {1, 0x10, "eject"},     {1, 0x20, "stop"},
    {1, 0x80, "standby"},   {2, 0x01, "cue-up complete"},
    {2, 0x02, "still"},     {2, 0x04, "reverse"},
    {2, 0x08, "var"},       {2, 0x10, "jog"},
    {2, 0x20, "shuttle"},   {2, 0x80, "servo lock"},
    {3, 0x01, "in set"},    {3, 0x02, "out set"},
    {4, 0x01, "cueing"},    {4, 0x40, "full EE"},
    {4, 0x80, "select EE"}, {8, 0x01, "record inhibit"},
};

constexpr NamedBit kNakReasons[] = {
    {0, 0x01, "unknown command"}, {0, 0x04, "checksum error"}, {0, 0x10, "parity error"},
    {0, 0x20, "buffer overrun"},  {0, 0x40, "framing error"},  {0, 0x80, "time-out"},
};

constexpr NamedBit kTimecodeFlags[] = {
    {0, 0x40, "drop frame"},
    {0, 0x80, "colour frame"},
};

}  // namespace

ReplyGroup replyGroup(const std::uint8_t* frame) {
    switch (frame[0]) {
        case 0x10:
            return ReplyGroup::kAcknowledge;
        case 0x11:
            return ReplyGroup::kNegative;
        case 0x74:
            return ReplyGroup::kTimecode;
        case 0x75:
            return ReplyGroup::kStatus;
        case 0x79:
            return ReplyGroup::kExtendedStatus;
        default:
            return ReplyGroup::kUnrecognised;
    }
}

bool isAcknowledge(const std::uint8_t* frame) {
    return frame[0] == 0x10 && frame[1] == 0x01;
}
bool isNegativeAcknowledge(const std::uint8_t* frame) {
    return frame[0] == 0x11 && frame[1] == 0x12;
}
bool isTimecodeReply(const std::uint8_t* frame) {
    return frame[0] == 0x74 && (frame[1] & 0xEF) == 0x04;
}
bool isStatusReply(const std::uint8_t* frame) {
    return frame[0] == 0x75 && frame[1] == 0x20;
}
bool isExtendedStatusReply(const std::uint8_t* frame) {
    return frame[0] == 0x79 && frame[1] == 0x20;
}

const TransportRule* transportRuleOf(const std::uint8_t* frame) {
    for (const TransportRule& rule : kTransportRules)
        if ((frame[dataByte(rule.dataByte)] & rule.mask) != 0) return &rule;
    return nullptr;
}

std::span<const NamedBit> statusBits() {
    return kStatusBits;
}
std::span<const NamedBit> nakReasons() {
    return kNakReasons;
}
std::span<const NamedBit> timecodeFlags() {
    return kTimecodeFlags;
}

}  // namespace korvel::engine
