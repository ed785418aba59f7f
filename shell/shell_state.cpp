#include "shell/shell_state.h"

#include "comms/serial_registry.h"
#include "engine/device_list.h"
#include "infodriver/dispatch_registry.h"
#include "shell/main_window.h"

namespace korvel::shell {

void ShellState::reset() {
    window.reset();
    *this = ShellState{};
}

ShellState& shellState() {
    static ShellState state;
    return state;
}

ProcessStateOwner::~ProcessStateOwner() {
    shellState().reset();
    engine::teardownDevices();  // any that no main window held
    infodriver::dispatchRegistry().clear();
    comms::serialRegistry().clear();
}

}  // namespace korvel::shell
