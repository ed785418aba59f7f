// A VT whose peers go away for good while the driver runs unattended: a serial port whose
// device has gone (a USB adapter pulled) fails the VT as a silence does and is opened again
// once per poll round until it is back; an infodriver whose process has gone without a
// disconnect ends the driver as a disconnect does, so that the control system's supervisor
// starts it afresh.

#include <cstdio>

#include "engine/vt_device.h"
#include "log/events_journal.h"
#include "log/trace.h"

namespace korvel::engine {
namespace {

void traceAndLog(EngineHost& host, log::EventKind kind, int vt, const char* format,
                 int portNumber) {
    char line[64];
    std::snprintf(line, sizeof line, format, portNumber);
    log::traceText(line);
    host.logTraffic(line);
    log::recordEvent(kind, vt, "%s", line);
}

}  // namespace

bool VtDevice::noticeLostPort() {
    if (portLost) return true;
    if (!port->lost()) return false;
    portLost = true;
    traceAndLog(*host_, log::EventKind::kPortLost, vtIndex, "Com port [%d] lost", portNumber);
    journalFailure("port lost");
    port->close();
    host_->setPanelText(kCommsField, vtIndex, "!! tFAIL !!");
    transmitTimedOut();
    return true;
}

bool VtDevice::reopenLostPort() {
    // No box and no trace while the port stays away: this runs every poll round.
    if (port->open(portNumber) != 1) return false;
    portLost = false;
    traceAndLog(*host_, log::EventKind::kPortBack, vtIndex, "Com port [%d] reopened", portNumber);
    port->setNotifyWindow(1);
    return true;
}

bool VtDevice::peersMissing() {
    if (infodriverGone) return true;
    if (client->peerGone()) {
        infodriverGone = true;
        log::trace("Infodriver %u gone", client->deviceNumber());
        log::recordEvent(log::EventKind::kInfodriverGone, vtIndex,
                         "Infodriver %u gone without a goodbye: the driver closes",
                         client->deviceNumber());
        host_->requestClose();
        return true;
    }
    return noticeLostPort() && !reopenLostPort();
}

}  // namespace korvel::engine
