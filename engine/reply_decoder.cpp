// Decoding of the machine's replies: acknowledgements move the transmit queue on, status
// replies become the transport state and status flags, timecode replies the timecode
// text, and anything else marks the VT's communication failed.

#include <cstdio>
#include <cstring>

#include "comms/comms.h"
#include "engine/command_table.h"
#include "engine/reply_meaning.h"
#include "engine/slot_layout.h"
#include "engine/vt_device.h"
#include "log/events_journal.h"
#include "log/trace.h"

namespace korvel::engine {
namespace {

constexpr std::size_t data(int n) {
    return static_cast<std::size_t>(dataByte(n));
}

}  // namespace

void VtDevice::decodeFrame() {
    // A copy, because the queue may send the next command (which clears rxFrame) before
    // the reply has been read to its end.
    FrameRecord frame = rxFrame;
    const int count = rxIndex;

    switch (replyGroup(frame.data())) {
        case ReplyGroup::kAcknowledge:
            if (isAcknowledge(frame.data())) TXQueue(1);
            nakRetried = false;
            recoverComms();
            return;
        case ReplyGroup::kNegative:
            if (isNegativeAcknowledge(frame.data())) {
                rxFrame.fill(0);
                rxIndex = 0;
                port->purge(comms::kPurgeTxClear);
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
        case ReplyGroup::kTimecode:
            if (isTimecodeReply(frame.data())) {
                currentTimecode =
                    Timecode{frame[data(0)], frame[data(1)], frame[data(2)], frame[data(3)]};
                client->writeSlotIfChanged(kTimecodeSlot,
                                           formatTimecode(withoutFlagBits(currentTimecode)).text);
            }
            break;
        case ReplyGroup::kStatus:
            if (isStatusReply(frame.data())) decodeTransportState(frame.data());
            decodeStatusFlags(frame.data());
            break;
        case ReplyGroup::kExtendedStatus:
            if (isExtendedStatusReply(frame.data())) {
                client->writeSlotIfChanged(kExtendedStatusSlot,
                                           (frame[data(8)] & 0x01) ? "1," : "0,");
            }
            break;
        case ReplyGroup::kUnrecognised:
            reportUnrecognisedReply(frame.data(), count);
            return;
    }
    TXQueue(1);
    recoverComms();
}

void VtDevice::decodeTransportState(const std::uint8_t* frame) {
    const TransportRule* rule = transportRuleOf(frame);
    if (rule == nullptr || rule->state == transportState) return;
    char text[12];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(rule->state));
    client->writeSlotIfChanged(kTransportStateSlot, text);
    host_->setPanelText(kTransportField, vtIndex, rule->panelText);
    sendCommand(kFullEeOff, 0);
    transportState = rule->state;
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
    client->writeSlotIfChanged(kStatusFlagsSlot, text);
    std::snprintf(text, sizeof text, "%d,%d,%d,", status0Bit4 ? 1 : 0, status1Bit7Clear ? 1 : 0,
                  status2Bit7Clear ? 1 : 0);
    client->writeSlotIfChanged(kStatusMoreFlagsSlot, text);
}

void VtDevice::reportUnrecognisedReply(const std::uint8_t* frame, int count) {
    if (count < 0) count = 0;
    if (count > static_cast<int>(kMaxFrameLength)) count = kMaxFrameLength;
    char text[24 + 3 * kMaxFrameLength];
    const int prefix = std::snprintf(text, sizeof text, "RX (%d bytes): ", count);
    appendHexBytes(text + prefix, frame, count, false);
    log::traceText(text);

    host_->setPanelText(kCommsField, vtIndex, "!! FAIL?? !!");
    journalFailure("unrecognised reply");
    publishCommsState(true);
    commsFailed = true;
    TXQueue(1);
}

void VtDevice::recoverComms() {
    // A port lost while this reply was handled (the command it let go found the device
    // gone) is no recovery: the VT stays failed until the port is back and answers.
    if (!commsFailed || portLost) return;
    if (failJournaled) {
        log::recordEvent(log::EventKind::kRecover, vtIndex,
                         "Communication back after %u tx time-outs",
                         static_cast<unsigned>(stormTimeouts));
    }
    failJournaled = false;
    stormTimeouts = 0;
    host_->setPanelText(kCommsField, vtIndex, "OK");
    publishCommsState(false);
    host_->killTimer(timecodeTimerId());
    if (!host_->setTimer(timecodeTimerId(), tcUpdatePeriod)) {
        host_->debugOutput("restart TCTimeout (ParseRxData)");
    }
    commsFailed = false;
}

}  // namespace korvel::engine
