#include "tools/portcheck/exchange.h"

#include <algorithm>

#include "engine/command_table.h"
#include "engine/frame.h"
#include "engine/reply_meaning.h"

namespace korvel::tools::portcheck {
namespace {

// The device type reply: 12 11 and the two bytes of the model.
bool isDeviceTypeReply(const std::uint8_t* frame) {
    return frame[0] == 0x12 && frame[1] == 0x11;
}

bool answers(Question question, const std::uint8_t* frame) {
    switch (question) {
        case Question::kDeviceType:
            return isDeviceTypeReply(frame);
        case Question::kStatus:
            return engine::isExtendedStatusReply(frame);
        case Question::kTimecode:
            return engine::isTimecodeReply(frame);
    }
    return false;
}

}  // namespace

const char* questionName(Question question) {
    switch (question) {
        case Question::kDeviceType:
            return "device type";
        case Question::kStatus:
            return "status";
        case Question::kTimecode:
            return "timecode";
    }
    return "?";
}

std::vector<std::uint8_t> questionFrame(Question question) {
    engine::FrameRecord frame{};
    if (question == Question::kDeviceType) {
        frame[0] = 0x00;
        frame[1] = 0x11;
    } else {
        const unsigned number = question == Question::kStatus ? engine::kExtendedStatusSense
                                                              : engine::kCurrentTimeSense;
        frame = engine::planCommand(number, 0, {}).frame;
    }
    const int length = engine::completeFrame(frame);
    return {frame.begin(), frame.begin() + length};
}

namespace {

ReplyCheck readFrames(Question question, std::span<const std::uint8_t> received) {
    const std::vector<std::uint8_t> asked = questionFrame(question);
    ReplyCheck check;
    bool bad = false;
    std::size_t at = 0;
    while (at < received.size()) {
        const auto length = static_cast<std::size_t>(engine::frameLength(received[at]));
        if (at + length > received.size()) {
            bad = true;  // the frame is incomplete (so far)
            break;
        }
        const std::span<const std::uint8_t> frame = received.subspan(at, length);
        if (std::ranges::equal(frame, asked)) {
            check.echoed = true;
            at += length;
            continue;
        }
        const auto count = static_cast<int>(length) - 1;
        if (engine::frameChecksum(frame.data(), count) != frame[length - 1]) {
            bad = true;
            ++at;  // a good frame may start at any later byte
            continue;
        }
        const bool nak = engine::isNegativeAcknowledge(frame.data());
        const bool good = answers(question, frame.data());
        // Behind bad bytes, a short run that happens to check (00 00 00 does) is no reply.
        if (bad && !nak && !good) {
            ++at;
            continue;
        }
        check.frame.assign(frame.begin(), frame.end());
        check.kind = nak    ? ReplyCheck::Kind::kNak
                     : good ? ReplyCheck::Kind::kGood
                            : ReplyCheck::Kind::kWrongReply;
        check.done = true;
        return check;
    }
    if (bad) check.kind = ReplyCheck::Kind::kBadFrame;
    return check;
}

}  // namespace

ReplyCheck checkReply(Question question, std::span<const std::uint8_t> received) {
    ReplyCheck check = readFrames(question, received);
    if (check.kind != ReplyCheck::Kind::kBadFrame) return check;
    std::vector<std::uint8_t> flipped(received.begin(), received.end());
    for (auto& b : flipped) b = static_cast<std::uint8_t>(~b);
    const ReplyCheck other = readFrames(question, flipped);
    check.inverted = other.kind == ReplyCheck::Kind::kGood || other.kind == ReplyCheck::Kind::kNak;
    return check;
}

}  // namespace korvel::tools::portcheck
