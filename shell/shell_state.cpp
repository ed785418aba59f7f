#include "shell/shell_state.h"

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

}  // namespace korvel::shell
