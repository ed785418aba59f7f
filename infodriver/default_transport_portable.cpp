#include "infodriver/in_process_transport.h"
#include "infodriver/infodriver_state.h"

namespace korvel::infodriver {

// Without a window system there is no infodriver to find: a world of its own with none,
// which keeps no record in a long run.
InfodriverTransport& platformTransport() {
    static InProcessTransport world;
    world.recording = false;
    return world;
}

}  // namespace korvel::infodriver
