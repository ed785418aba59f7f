#include "shell/vt_parts.h"

#include "infodriver/dispatch_registry.h"

namespace korvel::shell {

std::uint32_t VtSerialPort::errorWord() {
    comms::CommStatus status{};
    comms::ErrorWord errors = 0;
    port_.status(&status, &errors);
    return static_cast<std::uint32_t>(errors);
}

int VtInfodriverSlots::connect(std::uint32_t deviceNumber) {
    // Installed before connecting: the infodriver may speak as soon as it knows the client.
    client_.setEventCallback(&infodriver::dispatchEvent);
    return client_.connect(deviceNumber);
}

}  // namespace korvel::shell
