// Timer-driven work of the engine: the transmit time-out, the timecode timer, the poll and
// the reset of a VT.

#include "engine/vt_timers.h"

#include "comms/comms.h"
#include "engine/command_table.h"
#include "engine/device_list.h"
#include "log/events_journal.h"
#include "log/trace.h"

namespace korvel::engine {

bool handleTimer(int id) {
    if (id > kTxTimeoutTimerBase && id <= kTxTimeoutTimerBase + kMaxVts) {
        transmitTimeout(id);
    } else if (id > kTimecodeTimerBase && id <= kTimecodeTimerBase + kMaxVts) {
        timecodeTimer(id);
    } else if (id == kPollTimerId) {
        poll();
    } else {
        return false;
    }
    return true;
}

namespace {

void announceTxTimeout(int vtNumber, EngineHost* host) {
    log::trace("tx timeout[vt%d]", vtNumber);
    if (host) host->setPanelText(kCommsField, vtNumber, "!! tFAIL !!");
}

}  // namespace

void transmitTimeout(int id) {
    const int n = id - kTxTimeoutTimerBase;
    announceTxTimeout(n, engineState().host);
    if (VtDevice* device = findDevice(n)) {
        // A deck that stays silent times out every few hundred milliseconds: the first of a
        // storm is journaled, the rest are counted for the line of the recovery.
        if (device->stormTimeouts++ == 0) {
            log::recordEvent(log::EventKind::kTxTimeout, n,
                             "No reply within %u ms; repeats are counted until it recovers",
                             static_cast<unsigned>(engineState().txTimeoutMs));
        }
        device->transmitTimedOut();
    }
}

void VtDevice::transmitTimedOut() {
    rxFrame.fill(0);
    rxIndex = 0;
    port->purge(comms::kPurgeTxClear | comms::kPurgeRxClear);
    host_->killTimer(txTimerId());
    host_->killTimer(timecodeTimerId());
    enterCommsFailed();
    tcPollPending = true;
    awaitingReply = false;
}

void timecodeTimer(int id) {
    if (VtDevice* device = findDevice(id - kTimecodeTimerBase)) device->timecodeTick();
}

void VtDevice::timecodeTick() {
    if (txQueueCount != 0 && !tcPollPending) {
        tcPollPending = true;  // asked for when the queue drains
        return;
    }
    // An idle line sends it now; a line still busy since the last tick queues it now.
    sendCommand(kCurrentTimeSense, 0);
    tcPollPending = false;
}

void poll() {
    EngineState& state = engineState();
    if (++state.pollIndex > kMaxVts) {
        state.pollIndex = 1;
        if (state.host) state.host->refreshCounters();
    }
    if (VtDevice* device = findDevice(state.pollIndex)) device->pollVisit();
}

void VtDevice::pollVisit() {
    if (peersMissing()) return;
    if (!awaitingReply) {
        const bool lineWasIdle = txQueueCount == 0;
        sendCommand(kStatusSense, 0);
        // The status request just sent stays at the head of the queue until its reply or
        // time-out, like any other frame, so that only one command is ever outstanding.
        // Frames that were queued without being on the line are moved on as before: the
        // oldest is dropped and the next one sent.
        if (!lineWasIdle) TXQueue(1);
    } else if (commsFailed) {
        statusPollPending = true;
        TXQueue(1);
    } else if (txQueueCount != 0) {
        statusPollPending = true;
    }
}

void resetVt(int vtNumber) {
    if (VtDevice* device = findDevice(vtNumber)) device->reset();
}

void VtDevice::reset() {
    if (noticeLostPort()) reopenLostPort();
    journalFailure("reset from the menu");
    // All the steps of a transmit time-out, at once.
    announceTxTimeout(vtIndex, host_);
    transmitTimedOut();
    log::trace("RESET [VT%d]", vtIndex);
    restartTimecodeTimer(tcUpdatePeriod);
}

void VtDevice::restartTimecodeTimer(std::uint32_t periodMs) {
    host_->killTimer(timecodeTimerId());
    host_->setTimer(timecodeTimerId(), periodMs);
}

}  // namespace korvel::engine
