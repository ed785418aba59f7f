#pragma once

#include <cstdint>
#include <memory>
#include <queue>
#include <string>
#include <vector>

#include "sim/vtr/control_fifo.h"
#include "sim/vtr/deck.h"
#include "sim/vtr/deck_port.h"
#include "sim/vtr/options.h"
#include "sim/vtr/wire_log.h"

namespace korvel::sim::vtr {

// The event loop around the decks: reads their ports and the control channel, hands bytes and
// the time to the deck models, writes their replies when due, and logs all of it. One thread.
class Emulator {
  public:
    Emulator(const Options& options, WireLog& log);

    // Opens the control channel and the ports and applies the start-up commands. False, with
    // `error` set, if the emulator cannot run.
    bool start(std::string& error);

    // Serves until `stopFd` becomes readable (the signal handler writes to it).
    void run(int stopFd);

    // Closes every port (removing the links).
    void shutdown();

  private:
    struct Slot {
        Slot(const DeckSettings& settings, Instant now, std::unique_ptr<DeckPort> deckPort)
            : deck(settings, now), port(std::move(deckPort)) {}
        Deck deck;
        std::unique_ptr<DeckPort> port;
        unsigned opened = 0;   // counts opens, so a poll result of a replaced pty is not used
        bool failing = false;  // the last open failed (logged once until it works again)
        Instant retryAt{0};    // when a port that failed to open is tried again
    };
    struct Pending {
        Instant due;
        std::uint64_t sequence;
        std::size_t slot;
        Bytes bytes;
        bool operator>(const Pending& other) const {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    static Instant now();
    bool applyControl(const std::string& line, std::string& error);
    void syncPort(std::size_t index);
    bool wantsRetry(const Slot& slot) const;
    void readPort(std::size_t index);
    void servePort(std::size_t index, short revents);
    void react(std::size_t index, DeckReaction reaction, Instant at);
    void writeDue();
    int pollTimeoutMs() const;

    const Options& options_;
    WireLog& log_;
    ControlFifo control_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending_;
    std::uint64_t sequence_ = 0;
};

}  // namespace korvel::sim::vtr
