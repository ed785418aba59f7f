#include "engine/vt_device.h"

#include <cstdio>

#include "comms/comms.h"
#include "comms/serial_registry.h"
#include "engine/command_table.h"
#include "engine/device_list.h"
#include "engine/null_host.h"
#include "engine/slot_layout.h"
#include "infodriver/dispatch_registry.h"
#include "infodriver/infodriver_messages.h"
#include "log/events_journal.h"
#include "log/trace.h"

namespace korvel::engine {
namespace {

constexpr std::uint32_t kFirstTimecodePeriodMs = 1000;

// Stands in for the main window until setup names it, so that nothing dereferences null.
EngineHost& noHost() {
    static NullHost host(false);
    return host;
}

}  // namespace

VtDevice::VtDevice(int vtIndex, std::uint32_t deviceNumber, VtPartsFactory& parts)
    : infodriverNumber(static_cast<std::int32_t>(deviceNumber + vtIndex - 1)),
      vtIndex(vtIndex),
      client(parts.makeSlots()),
      port(parts.makeSerial()),
      host_(&noHost()) {}

VtDevice::~VtDevice() {
    // The registries must not route a later event to a device that is gone.
    infodriver::dispatchRegistry().removeFirst(this);
    comms::serialUnregister(this);
}

bool VtDevice::setup(int portNumber, std::int32_t speed, int dataBits, int parity, int stopBits,
                     EngineHost& host) {
    host_ = &host;
    char message[128];

    const int connected = client->connect(static_cast<std::uint32_t>(infodriverNumber));
    if (connected != infodriver::kStatusConnected) {
        if (connected == infodriver::kStatusNoWindow) {
            log::trace("Connect failed to infodriver %u", client->deviceNumber());
        } else {
            log::trace("Other Error - code %d", client->status());
        }
        std::snprintf(message, sizeof message, "Failed to connect to infodriver %u [vt%d]",
                      client->deviceNumber(), vtIndex);
        log::recordEvent(log::EventKind::kRefused, vtIndex, "%s", message);
        host.showError(message);
        return false;
    }
    log::trace("Connected OK to infodriver %u", client->deviceNumber());
    log::recordEvent(log::EventKind::kInfodriverConnected, vtIndex, "Connected to infodriver %u",
                     client->deviceNumber());
    infodriver::dispatchRegistry().add(client->identity(), this);
    client->setCounters(&infodriverTxCount, &infodriverRxCount);

    log::trace("Opening serial port %d (vt%d), speed %ld", portNumber, vtIndex,
               static_cast<long>(speed));
    port->setSpeed(speed);
    port->setDataBits(dataBits);
    port->setStopBits(stopBits);
    port->setParity(parity);
    this->portNumber = portNumber;
    const int opened = port->open(portNumber);
    if (opened == comms::kCommsFailed && engineState().waitForMissingPorts) {
        // A USB adapter that enumerates late must not keep the other VTs off air: this VT
        // starts as one whose port was pulled, and each poll visit tries the port again.
        log::trace("Com port [%d] not found: waiting for it (vt%d)", portNumber, vtIndex);
        log::recordEvent(log::EventKind::kPortLost, vtIndex,
                         "Com port [%d] not found at start: waiting for it", portNumber);
        comms::serialRegister(this, port->identity());
        portLost = true;
        host.setPanelText(kCommsField, vtIndex, "!! tFAIL !!");
        transmitTimedOut();
        return true;
    }
    if (opened == comms::kCommsAlreadyOpen || opened == comms::kCommsFailed) {
        std::snprintf(message, sizeof message,
                      opened == comms::kCommsAlreadyOpen ? "Com port [%d] already open"
                                                         : "Com port [%d] not found",
                      portNumber);
        log::recordEvent(log::EventKind::kRefused, vtIndex, "%s", message);
        host.showError(message);
        return false;
    }
    port->setNotifyWindow(1);
    comms::serialRegister(this, port->identity());
    sendCommand(kStatusSense, 0);
    sendCommand(kExtendedStatusSense, 0);
    host.setTimer(timecodeTimerId(), kFirstTimecodePeriodMs);
    return true;
}

void VtDevice::shutdown() {
    // A storm that never ended gets its count now: the journal's last word on the VT.
    if (failJournaled && stormTimeouts != 0) {
        log::recordEvent(log::EventKind::kTxTimeout, vtIndex,
                         "Still failed at the end, after %u tx time-outs",
                         static_cast<unsigned>(stormTimeouts));
    }
}

void VtDevice::sendCommand(unsigned number, std::int32_t value) {
    const CommandPlan plan = planCommand(number, value, cuePoint);
    if (!plan.known) return;

    if (number == kSetCueFromTimecode) {
        cuePoint = withoutFlagBits(currentTimecode);
        client->writeSlotIfChanged(kCuePointSlot, formatTimecode(cuePoint).text);
    }
    // The frame first, then the panel: a repaint must not hold the command back from the wire.
    if (plan.sendsFrame) TxCmd(plan.frame);
    if (plan.panelText) host_->setPanelText(kLastCommandField, vtIndex, plan.panelText);
    if (number == kStatusSense) statusPollPending = false;
    for (int i = 0; i < plan.followUpCount; ++i) sendCommand(plan.followUps[i], 0);
}

}  // namespace korvel::engine
