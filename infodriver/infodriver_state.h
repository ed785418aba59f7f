#pragma once

namespace korvel::infodriver {

class InfodriverTransport;

// The infodriver client's process-wide state. Tests start clean with
// infodriverState() = InfodriverState{}.
struct InfodriverState {
    // Set once the hidden windows' class is registered; never cleared by the driver.
    bool clientClassRegistered = false;
    // The transport new clients use; null means the platform's own.
    InfodriverTransport* transport = nullptr;
};

InfodriverState& infodriverState();

// The transport a client constructed now uses.
InfodriverTransport& currentTransport();

// The platform's transport: window messages and VRAXIF32.dll on Windows, an in-process
// world with no infodriver elsewhere.
InfodriverTransport& platformTransport();

}  // namespace korvel::infodriver
