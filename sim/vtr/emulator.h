#pragma once

#include <string>

#include "sim/vtr/control_fifo.h"
#include "sim/vtr/deck_rack.h"
#include "sim/vtr/options.h"
#include "sim/vtr/wire_log.h"

namespace korvel::sim::vtr {

// The Linux loop around the decks: polls their ports (ptys and serial devices) and the
// control FIFO, and hands what comes to the rack. One thread.
class Emulator {
  public:
    Emulator(const Options& options, WireLog& log);

    // Opens the control channel and the ports and applies the start-up commands. False, with
    // `error` set, if the emulator cannot run.
    bool start(std::string& error);

    // Serves until `stopFd` becomes readable (the signal handler writes to it).
    void run(int stopFd);

    // Closes every port (removing the links).
    void shutdown() { rack_.shutdown(); }

  private:
    void servePort(std::size_t index, short revents);

    const Options& options_;
    DeckRack rack_;
    ControlFifo control_;
};

}  // namespace korvel::sim::vtr
