#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "config/device_settings.h"
#include "engine/engine_host.h"
#include "engine/vt_device.h"
#include "engine/vt_seams.h"

namespace korvel::engine {

inline constexpr int kMaxVts = 9;

// Speeds used when a variable, shuttle or jog command comes without a value.
struct DefaultSpeeds {
    std::int32_t variable = config::kVariableKey.defaultNumber();
    std::int32_t shuttle = config::kShuttleKey.defaultNumber();
    std::int32_t jog = config::kJogKey.defaultNumber();
};

// The engine's process-wide state, in one place so that tests can start afresh.
struct EngineState {
    std::list<std::unique_ptr<VtDevice>> devices;  // creation order, VT1 first
    std::uint32_t txTimeoutMs = config::kTxTimeoutKey.defaultNumber();
    std::uint32_t rxTimeoutMs = config::kRxTimeoutKey.defaultNumber();  // kept; nothing waits on it
    DefaultSpeeds speeds;
    int pollIndex = 0;  // the VT the poll visited last; 0 so that VT1 comes first
    // A VT whose port is missing at start-up starts with its port lost instead of refusing
    // the start.
    bool waitForMissingPorts = false;
    EngineHost* host = nullptr;
};

EngineState& engineState();

// Creates a device for every VT section whose port is set, in VT order, and shows "(none)"
// for the others. A VT that cannot be set up ends the creation: false, the VTs before it
// kept, the ones after it not created, the time-out keys not read.
bool createDevices(config::DeviceSettings& settings, std::uint32_t deviceNumber, EngineHost& host,
                   VtPartsFactory& parts);

// Takes the default variable, shuttle and jog speeds, and whether a port missing at
// start-up is waited for, from the start-up settings.
void useStartupSettings(const config::StartupSettings& startup);

// The device of VT n, or null.
VtDevice* findDevice(int vtNumber);

// Shuts down and destroys every device in list order.
void teardownDevices();

// Every device's infodriver hears its goodbye now; the devices stay, for callers still on
// the stack, until teardownDevices.
void sayGoodbyes();

}  // namespace korvel::engine
