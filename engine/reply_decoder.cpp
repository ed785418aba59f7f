// Decoding of the machine's replies: acknowledgements move the transmit queue on, status
// replies become the transport state and status flags, timecode replies the timecode
// text, and anything else marks the VT's communication failed.

#include <cstdio>
#include <cstring>

#include "engine/command_table.h"
#include "engine/vt_device.h"
#include "log/trace.h"

namespace korvel::engine {
namespace {

constexpr int kPurgeTransmit = 4;

// Data byte n of a frame follows the two command bytes.
constexpr std::size_t data(std::size_t n) {
    return n + 2;
}

struct TransportRule {
    std::size_t dataByte;
    std::uint8_t mask;
    std::int32_t state;
    const char* panelText;
};

// Tested in this order; the first bit set gives the state.
constexpr TransportRule kTransportRules[] = {
    {2, 0x01, 21, "Cued"}, {4, 0x01, 10, "Cueing"}, {2, 0x20, 8, "Shuttle"}, {2, 0x10, 9, "Jog"},
    {2, 0x08, 7, "Var"},   {1, 0x02, 3, "Rec"},     {1, 0x01, 2, "Play"},    {1, 0x04, 5, "FFwd"},
    {1, 0x08, 4, "Rew"},   {1, 0x20, 1, "Stop"},
};

}  // namespace

void VtDevice::decodeFrame() {
    // A copy, because the queue may send the next command (which clears rxFrame) before
    // the reply has been read to its end.
    FrameRecord frame = rxFrame;
    const int count = rxIndex;

    switch (frame[0]) {
        case 0x10:
            if (frame[1] == 0x01) TXQueue(1);
            nakRetried = false;
            recoverComms();
            return;
        case 0x11:
            if (frame[1] == 0x12) {
                rxFrame.fill(0);
                rxIndex = 0;
                port->purge(kPurgeTransmit);
                log::trace("RX:NACK");
                if (!nakRetried) {
                    TXQueue(0);
                    nakRetried = true;
                    return;
                }
            }
            nakRetried = false;
            TXQueue(1);
            return;
        case 0x74:
            if ((frame[1] & 0xEF) == 0x04) {
                currentTimecode =
                    Timecode{frame[data(0)], frame[data(1)], frame[data(2)], frame[data(3)]};
                client->writeSlotIfChanged(11,
                                           formatTimecode(withoutFlagBits(currentTimecode)).text);
            }
            break;
        case 0x75:
            if (frame[1] == 0x20) decodeTransportState(frame.data());
            decodeStatusFlags(frame.data());
            break;
        case 0x79:
            if (frame[1] == 0x20) {
                client->writeSlotIfChanged(6, (frame[data(8)] & 0x01) ? "1," : "0,");
            }
            break;
        default:
            reportUnrecognisedReply(frame.data(), count);
            return;
    }
    TXQueue(1);
    recoverComms();
}

void VtDevice::decodeTransportState(const std::uint8_t* frame) {
    for (const TransportRule& rule : kTransportRules) {
        if ((frame[data(rule.dataByte)] & rule.mask) == 0) continue;
        if (rule.state != transportState) {
            char text[12];
            std::snprintf(text, sizeof text, "%d", static_cast<int>(rule.state));
            client->writeSlotIfChanged(2, text);
            host_->setPanelText(kTransportFieldBase + vtIndex, rule.panelText);
            sendCommand(kFullEeOff, 0);
            transportState = rule.state;
        }
        return;
    }
}

void VtDevice::decodeStatusFlags(const std::uint8_t* frame) {
    const std::uint8_t byte0 = frame[data(0)];
    const bool bit5 = (byte0 & 0x20) != 0;
    // The extended status reply carries the flag of slot 6; ask for it when bit 5 moves.
    if (bit5 != status0Bit5) sendCommand(kExtendedStatusSense, 0);

    status0Bit2 = (byte0 & 0x04) != 0;
    status0Bit0 = (byte0 & 0x01) != 0;
    status0Bit4 = (byte0 & 0x10) != 0;
    status1Bit7Clear = (frame[data(1)] & 0x80) == 0;
    status2Bit7Clear = (frame[data(2)] & 0x80) == 0;
    status0Bit5 = bit5;

    char text[16];
    std::snprintf(text, sizeof text, "%d,%d,", status0Bit0 ? 1 : 0, status0Bit5 ? 1 : 0);
    client->writeSlotIfChanged(4, text);
    std::snprintf(text, sizeof text, "%d,%d,%d,", status0Bit4 ? 1 : 0, status1Bit7Clear ? 1 : 0,
                  status2Bit7Clear ? 1 : 0);
    client->writeSlotIfChanged(5, text);
}

void VtDevice::reportUnrecognisedReply(const std::uint8_t* frame, int count) {
    if (count < 0) count = 0;
    if (count > static_cast<int>(kMaxFrameLength)) count = kMaxFrameLength;
    char text[24 + 3 * kMaxFrameLength];
    const int prefix = std::snprintf(text, sizeof text, "RX (%d bytes): ", count);
    appendHexBytes(text + prefix, frame, count, false);
    log::traceText(text);

    host_->setPanelText(kCommsFieldBase + vtIndex, "!! FAIL?? !!");
    publishCommsState(true);
    commsFailed = true;
    TXQueue(1);
}

void VtDevice::recoverComms() {
    if (!commsFailed) return;
    host_->setPanelText(kCommsFieldBase + vtIndex, "OK");
    publishCommsState(false);
    host_->killTimer(timecodeTimerId());
    if (!host_->setTimer(timecodeTimerId(), tcUpdatePeriod)) {
        host_->debugOutput("restart TCTimeout (ParseRxData)");
    }
    commsFailed = false;
}

}  // namespace korvel::engine
