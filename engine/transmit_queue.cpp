// The transmit queue of a VT: one frame on the line at a time, the rest waiting in a ring
// of eight, each kept until its reply or time-out ends it so that it can be sent again.

#include <cstdio>
#include <cstring>

#include "engine/command_table.h"
#include "engine/device_list.h"
#include "engine/slot_layout.h"
#include "engine/vt_device.h"
#include "log/events_journal.h"
#include "log/trace.h"
#include "log/traffic_line.h"

namespace korvel::engine {

std::uint32_t VtDevice::oldestEntry() const {
    return (txQueueWrite + kQueueEntries - txQueueCount) % kQueueEntries;  // count <= 8
}

void VtDevice::TxCmd(FrameRecord frame) {
    const int length = completeFrame(frame);
    if (txQueueCount >= kQueueEntries) {
        log::trace("output queue is too long - wait is %s", awaitingReply ? "true" : "false");
        return;
    }
    const std::uint32_t entry = txQueueWrite;
    std::memcpy(txQueue[entry].data(), frame.data(), static_cast<std::size_t>(length));
    ++txQueueCount;
    txQueueWrite = (txQueueWrite + 1) % kQueueEntries;
    if (txQueueCount == 1) transmit(entry, "writing to port\n");
}

void VtDevice::transmit(std::uint32_t entry, const char* debugText) {
    rxIndex = 0;
    rxFrame.fill(0);

    // The frame goes out first; the debugger line, the trace and the traffic log follow, so
    // their cost never delays a command. The reply is handled on this thread, after this
    // returns, so every line still comes before the reply's.
    const std::uint8_t* frame = txQueue[entry].data();
    const int length = frameLength(frame[0]);
    if (port->write(frame, length) < 0 && noticeLostPort()) {
        // Nothing reaches a port that has gone: the command is dropped, no time-out runs.
        txQueueCount = 0;
        awaitingReply = false;
        return;
    }

    host_->debugOutput(debugText);
    char text[log::trafficLineSize(kMaxFrameLength)];
    log::formatTransmitLine(text, frame, length);
    log::traceText(text);
    host_->logTraffic(text);
    ++txCount;
    host_->killTimer(txTimerId());
    host_->setTimer(txTimerId(), engineState().txTimeoutMs);
    awaitingReply = true;
}

void VtDevice::TXQueue(int done) {
    if (done != 0 && txQueueCount > 0) --txQueueCount;
    if (txQueueCount > 0) {
        transmit(oldestEntry(), "writing to port2\n");
        return;
    }
    // The line is free: send whatever came due while it was busy. The first goes out at
    // once, the second waits behind it.
    if (statusPollPending) {
        sendCommand(kStatusSense, 0);
        statusPollPending = false;
    }
    if (tcPollPending) {
        sendCommand(kCurrentTimeSense, 0);
        tcPollPending = false;
    }
}

void VtDevice::enterCommsFailed() {
    journalFailure("no reply");
    commsFailed = true;
    txQueueCount = 0;
    rxIndex = 0;
    publishCommsState(true);
}

void VtDevice::journalFailure(const char* kind) {
    if (failJournaled) return;
    failJournaled = true;
    log::recordEvent(log::EventKind::kFail, vtIndex, "Communication failed: %s", kind);
}

void VtDevice::publishCommsState(bool failed) {
    char text[16];
    std::snprintf(text, sizeof text, failed ? "1,%d," : "0,%d,", status0Bit2 ? 1 : 0);
    client->writeSlotIfChanged(kCommsStateSlot, text);
}

}  // namespace korvel::engine
