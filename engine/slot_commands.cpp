// What the control system asks of a VT through its infodriver: texts written into the
// command slots become commands, timer changes and cue points; the infodriver's own
// requests are traced, and its disconnection ends the program.

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config/decimal.h"
#include "engine/command_table.h"
#include "engine/device_list.h"
#include "engine/slot_layout.h"
#include "engine/vt_device.h"
#include "log/events_journal.h"
#include "infodriver/infodriver_messages.h"
#include "log/trace.h"

namespace korvel::engine {
namespace {

constexpr std::uint32_t kMinimumTimecodePeriodMs = 40;

// Reads "  -12xyz" as -12 the way the C library's unsigned conversion would find a number:
// false when the text holds no digits after blanks and one sign. Values beyond the range
// a period can be written back in are cut to that range.
bool readPeriod(const char* text, std::int64_t& value) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    std::int64_t magnitude = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (*text - '0');
    }
    if (magnitude > INT_MAX) magnitude = INT_MAX;
    value = negative ? -magnitude : magnitude;
    return true;
}

// The product of a direction and a value, wrapped into 32 bits as the command's value:
// only its sign and low bytes reach the frame.
std::int32_t directed(int direction, std::int32_t value) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(direction) * value);
}

}  // namespace

void VtDevice::onInfodriverEvent(infodriver::InfodriverClient*, std::int32_t code,
                                 const char* text) {
    const std::int32_t status = client->status();
    switch (status) {
        case infodriver::kStatusNotConnected:
            log::trace("Infodriver %u has disconnected", client->deviceNumber());
            log::recordEvent(log::EventKind::kInfodriverDisconnected, vtIndex,
                             "Infodriver %u has disconnected: the driver closes",
                             client->deviceNumber());
            // The client is still inside its own message handling: the window is closed
            // once that is done, and the devices are torn down in order then.
            host_->requestClose();
            return;
        case infodriver::kStatusTxRx:
            log::trace("Infodriver %u received request to go TXRX", client->deviceNumber());
            return;
        case infodriver::kStatusRxOnly:
            log::trace("Infodriver %u received request to go RX Only", client->deviceNumber());
            return;
        case infodriver::kStatusConnected:
            if (text == nullptr) text = "";
            if (!RXCommand(client->deviceNumber(), code, text)) client->writeSlot(code, text);
            return;
        default:
            log::trace("iStatus=%d", static_cast<int>(status));
            return;
    }
}

bool VtDevice::RXCommand(std::uint32_t, std::int32_t slot, const char* received) {
    char text[256];
    std::snprintf(text, sizeof text, "%s", received ? received : "");

    switch (slot) {
        case kCommandSlot:
            commandFromText(text);
            return true;
        case kTimecodePeriodSlot:
            setTimecodePeriod(text);
            return true;
        case kCuePointSlot:
            setCuePoint(text);
            return true;
        case kPrerollSlot:
        case kInPresetSlot:
        case kInEntrySlot:
        case kOutPresetSlot:
        case kOutEntrySlot:
            sendCommand(static_cast<unsigned>(slot), 0);
            return true;
        case kGroup2ACSlot:
            sendCommand(kGroup2AC, config::decimalValue(text));
            return true;
        default:
            return false;
    }
}

// "2" plays; "-9" jogs in reverse at the default jog speed; "8,-20" and "-8,20" both
// shuttle in reverse at 20; "RESET" resets the VT.
void VtDevice::commandFromText(const char* text) {
    if (std::strcmp(text, "RESET") == 0) {
        reset();
        return;
    }
    const std::int32_t signedNumber = config::decimalValue(text);
    const int direction = signedNumber < 0 ? -1 : 1;
    // The magnitude as unsigned, so that the most negative number has one too.
    const unsigned number = signedNumber < 0 ? 0u - static_cast<unsigned>(signedNumber)
                                             : static_cast<unsigned>(signedNumber);

    const char* comma = std::strchr(text, ',');
    const bool hasValue = comma != nullptr && comma[1] != '\0';
    std::int32_t value = hasValue ? config::decimalValue(comma + 1) : 0;
    if (!hasValue) {
        const DefaultSpeeds& speeds = engineState().speeds;
        if (number == kVariable) value = speeds.variable;
        if (number == kShuttle) value = speeds.shuttle;
        if (number == kJog) value = speeds.jog;
    }
    if (number == kGroup2A7) value = 0;
    sendCommand(number, directed(direction, value));
}

void VtDevice::setTimecodePeriod(const char* text) {
    char written[256];
    std::snprintf(written, sizeof written, "%s", text);
    std::int64_t period = 0;
    if (readPeriod(text, period)) {
        // A negative period is as unusable as a too short one.
        if (period < static_cast<std::int64_t>(kMinimumTimecodePeriodMs)) {
            period = kMinimumTimecodePeriodMs;
        }
        tcUpdatePeriod = static_cast<std::uint32_t>(period);
        std::snprintf(written, sizeof written, "%d", static_cast<int>(period));
    }
    client->writeSlotIfChanged(kTimecodePeriodSlot, written);
    restartTimecodeTimer(tcUpdatePeriod);
}

// "hh.mm.ss.ff" in decimal; a text with fewer than four parts is ignored.
void VtDevice::setCuePoint(const char* text) {
    const char* parts[4] = {text, nullptr, nullptr, nullptr};
    for (int i = 1; i < 4; ++i) {
        const char* dot = std::strchr(parts[i - 1], '.');
        if (dot == nullptr || dot[1] == '\0') return;
        parts[i] = dot + 1;
    }
    if (*parts[0] == '.' || *parts[1] == '.' || *parts[2] == '.') return;

    auto bcd = [](const char* part) {
        return toBcd(static_cast<std::uint32_t>(config::decimalValue(part)));
    };
    cuePoint =
        withoutFlagBits(Timecode{bcd(parts[3]), bcd(parts[2]), bcd(parts[1]), bcd(parts[0])});
    client->writeSlotIfChanged(kCuePointSlot, formatTimecode(cuePoint).text);
    sendCommand(kInPreset, 0);
}

}  // namespace korvel::engine
