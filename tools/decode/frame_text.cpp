#include "tools/decode/frame_text.h"

#include <cstdio>

#include "engine/command_table.h"
#include "engine/frame.h"
#include "engine/reply_meaning.h"

namespace korvel::tools::decode {
namespace {

using engine::dataByte;

std::string hexByte(std::uint8_t b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x", b);
    return text;
}

std::string checksumText(std::span<const std::uint8_t> frame) {
    const std::uint8_t should =
        engine::frameChecksum(frame.data(), static_cast<int>(frame.size()) - 1);
    return "checksum error (" + hexByte(frame.back()) + ", should be " + hexByte(should) + ")";
}

// The four bytes from frame[at] on as a timecode, "hh.mm.ss.ff" without the flag bits.
std::string timecodeAt(std::span<const std::uint8_t> frame, std::size_t at) {
    const engine::Timecode tc{frame[at], frame[at + 1], frame[at + 2], frame[at + 3]};
    return engine::formatTimecode(engine::withoutFlagBits(tc)).text;
}

// The names of the bits set, ", "-separated, of the data bytes the frame carries.
std::string bitNames(std::span<const std::uint8_t> frame, std::span<const engine::NamedBit> bits) {
    std::string text;
    for (const engine::NamedBit& bit : bits) {
        const std::size_t at = static_cast<std::size_t>(dataByte(bit.dataByte));
        if (at + 1 >= frame.size() || (frame[at] & bit.mask) == 0) continue;
        if (!text.empty()) text += ", ";
        text += bit.name;
    }
    return text;
}

bool sane(std::span<const std::uint8_t> frame) {
    return frame.size() >= 3 && static_cast<int>(frame.size()) == engine::frameLength(frame[0]);
}

}  // namespace

bool checksumHolds(std::span<const std::uint8_t> frame) {
    return sane(frame) &&
           engine::frameChecksum(frame.data(), static_cast<int>(frame.size()) - 1) == frame.back();
}

std::string explainCommand(std::span<const std::uint8_t> frame) {
    if (!sane(frame)) return "incomplete frame";
    if (!checksumHolds(frame)) return checksumText(frame);
    const engine::FrameCommand command =
        engine::commandOfFrame(frame.data(), static_cast<int>(frame.size()));
    if (command.number == 0)
        return "command " + hexByte(frame[0]) + " " + hexByte(frame[1]) +
               " (not one the driver sends)";
    const engine::CommandRow& row = *engine::commandRow(command.number);
    std::string text = row.name;
    const std::size_t argument = static_cast<std::size_t>(row.fixed.count);
    switch (row.argument) {
        case engine::ArgumentKind::kSpeed:
            text += command.reverse ? " reverse" : " forward";
            text += " speed " + std::to_string(frame[argument]);
            break;
        case engine::ArgumentKind::kCuePoint:
            text += " " + timecodeAt(frame, argument);
            break;
        case engine::ArgumentKind::kValue16:
            text += " value " + std::to_string(frame[argument] * 256 + frame[argument + 1]);
            break;
        case engine::ArgumentKind::kNone:
            break;
    }
    return text;
}

std::string explainReply(std::span<const std::uint8_t> frame) {
    if (!sane(frame)) return "incomplete frame";
    if (!checksumHolds(frame)) return checksumText(frame);
    const std::uint8_t* bytes = frame.data();
    if (engine::isAcknowledge(bytes)) return "ACK";
    if (engine::isNegativeAcknowledge(bytes)) {
        const std::string reasons = bitNames(frame, engine::nakReasons());
        return frame.size() > 3 ? "NAK: " + (reasons.empty() ? "no reason given" : reasons) : "NAK";
    }
    if (engine::isTimecodeReply(bytes) && frame.size() >= 7) {
        std::string text = "TIMECODE " + timecodeAt(frame, dataByte(0));
        const std::string flags = bitNames(frame, engine::timecodeFlags());
        return flags.empty() ? text : text + " " + flags;
    }
    const bool status = engine::isStatusReply(bytes) && frame.size() >= 8;
    const bool extended = engine::isExtendedStatusReply(bytes) && frame.size() >= 12;
    if (status || extended) {
        std::string text = extended ? "STATUS 9: " : "STATUS: ";
        const std::string bits = bitNames(frame, engine::statusBits());
        text += bits.empty() ? "no bit set" : bits;
        if (status)
            if (const engine::TransportRule* rule = engine::transportRuleOf(bytes))
                text += " (" + std::string(rule->panelText) + ")";
        return text;
    }
    std::string text = "unrecognised reply";
    switch (engine::replyGroup(bytes)) {
        case engine::ReplyGroup::kUnrecognised:
            text += ": the driver marks the VT failed";
            break;
        default:
            text += " " + hexByte(frame[0]) + " " + hexByte(frame[1]);
            break;
    }
    return text;
}

}  // namespace korvel::tools::decode
