#pragma once

#include <cstdint>
#include <span>

namespace korvel::engine {

// What a machine's reply frame means, as pure functions of its bytes: the driver's decoder
// acts on them, and the traffic decoder explains a log with them.

// The reply groups, by the frame's first byte.
enum class ReplyGroup {
    kAcknowledge,     // 10 ..: 10 01 is the acknowledgement
    kNegative,        // 11 ..: 11 12 is the negative acknowledgement, its data byte the reason
    kTimecode,        // 74 ..: 74 04 and 74 14 carry a timecode
    kStatus,          // 75 ..: 75 20 carries five status bytes
    kExtendedStatus,  // 79 ..: 79 20 carries nine status bytes
    kUnrecognised,
};
ReplyGroup replyGroup(const std::uint8_t* frame);

bool isAcknowledge(const std::uint8_t* frame);
bool isNegativeAcknowledge(const std::uint8_t* frame);
bool isTimecodeReply(const std::uint8_t* frame);
bool isStatusReply(const std::uint8_t* frame);
bool isExtendedStatusReply(const std::uint8_t* frame);

// Data byte n of a frame follows the two command bytes.
constexpr int dataByte(int n) {
    return n + 2;
}

// The transport state a status reply shows: the first rule whose bit is set.
struct TransportRule {
    int dataByte;
    std::uint8_t mask;
    std::int32_t state;
    const char* panelText;
};
// Null when no tested bit is set (the state stays as it was).
const TransportRule* transportRuleOf(const std::uint8_t* frame);

// A bit of a data byte and its name.
struct NamedBit {
    int dataByte;
    std::uint8_t mask;
    const char* name;
};
// The status bits of the status replies (data bytes 0 to 8).
std::span<const NamedBit> statusBits();
// The reasons in a negative acknowledgement's data byte (data byte 0).
std::span<const NamedBit> nakReasons();
// The flags a machine sets beside the digits of a timecode (data bytes 0 to 3).
std::span<const NamedBit> timecodeFlags();

}  // namespace korvel::engine
