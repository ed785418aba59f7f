#include "engine/device_list.h"

#include <utility>

#include "log/events_journal.h"

namespace korvel::engine {

EngineState& engineState() {
    static EngineState state;
    return state;
}

bool createDevices(config::DeviceSettings& settings, std::uint32_t deviceNumber, EngineHost& host,
                   VtPartsFactory& parts) {
    EngineState& state = engineState();
    state.host = &host;
    for (int n = 1; n <= kMaxVts; ++n) {
        const config::VtLineSettings line = settings.readVt(n);
        static constexpr char kParityLetters[] = "NOEM";
        log::recordEvent(log::EventKind::kStart, n,
                         "Port %d, %ld baud, %d data bits, parity %c, %d stop bits%s",
                         static_cast<int>(line.port), static_cast<long>(line.speed),
                         static_cast<int>(line.dataBits),
                         line.parity >= 0 && line.parity <= 3 ? kParityLetters[line.parity] : '?',
                         line.stopBits == 2 ? 2 : 1, line.port == 0 ? " (not used)" : "");
        if (line.port == 0) {
            host.setPanelText(kCommsField, n, "(none)");
            continue;
        }
        auto device = std::make_unique<VtDevice>(n, deviceNumber, parts);
        if (!device->setup(line.port, line.speed, line.dataBits, line.parity, line.stopBits,
                           host)) {
            return false;  // the device goes here, its port closed before its client
        }
        state.devices.push_back(std::move(device));
    }
    const config::TimeoutSettings timeouts = settings.readTimeouts();
    state.txTimeoutMs = static_cast<std::uint32_t>(timeouts.txTimeoutMs);
    state.rxTimeoutMs = static_cast<std::uint32_t>(timeouts.rxTimeoutMs);
    return true;
}

void useStartupSettings(const config::StartupSettings& startup) {
    engineState().speeds = DefaultSpeeds{startup.variable, startup.shuttle, startup.jog};
    engineState().waitForMissingPorts = startup.waitForPorts != 0;
}

VtDevice* findDevice(int vtNumber) {
    for (const auto& device : engineState().devices) {
        if (device->vtIndex == vtNumber) return device.get();
    }
    return nullptr;
}

void sayGoodbyes() {
    for (const auto& device : engineState().devices) {
        if (device->client) device->client->sayGoodbye();
    }
}

void teardownDevices() {
    auto& devices = engineState().devices;
    while (!devices.empty()) {
        devices.front()->shutdown();
        devices.pop_front();
    }
}

}  // namespace korvel::engine
