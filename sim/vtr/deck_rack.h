#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "sim/vtr/deck.h"
#include "sim/vtr/deck_port.h"
#include "sim/vtr/options.h"
#include "sim/vtr/wire_log.h"

namespace korvel::sim::vtr {

// The emulator's decks on their ports, whatever the ports are: bytes read from a port go to
// its deck, replies are written when due, control lines are applied, ports that fail are
// opened again, and all of it is logged. No waiting of its own: the platform's loop (poll()
// on Linux, the serial library's notifications on Windows) calls in when a port has bytes, a
// control line came, or nextDue() has come.
class DeckRack {
  public:
    using PortMaker = std::function<std::unique_ptr<DeckPort>(const PortOption&)>;

    DeckRack(const Options& options, WireLog& log, const PortMaker& makePort);

    static Instant now();

    // Applies the start-up commands and opens the ports. False, with `error` set, if the
    // emulator cannot run.
    bool start(std::string& error);
    // A line from the control channel: applied and logged ("ctl"), or refused ("ctlerr").
    void controlLine(const std::string& line);
    // Opens ports due for another try, writes due replies, answers frames left incomplete.
    void service();
    // When service() next has something to do; none while nothing is pending.
    std::optional<Instant> nextDue() const;
    // Milliseconds until nextDue() (rounded up, never waking early); -1 for none.
    int waitMs() const;

    // Reads the port of deck `index` until it is drained and hands the bytes to the deck.
    void readPort(std::size_t index);
    // The port reported an error: it is closed and opened again (now or later).
    void portFailed(std::size_t index);
    // The port reported hang-up.
    void portHungUp(std::size_t index);
    void shutdown();

    std::size_t size() const { return slots_.size(); }
    DeckPort& port(std::size_t index) { return *slots_[index]->port; }
    // Counts the opens of a port, so a poll result of a replaced port is not used.
    unsigned opened(std::size_t index) const { return slots_[index]->opened; }
    WireLog& log() { return log_; }

  private:
    struct Slot {
        Slot(const DeckSettings& settings, Instant now, std::unique_ptr<DeckPort> deckPort)
            : deck(settings, now), port(std::move(deckPort)) {}
        Deck deck;
        std::unique_ptr<DeckPort> port;
        unsigned opened = 0;
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

    bool applyControl(const std::string& line, std::string& error);
    void syncPort(std::size_t index);
    bool wantsRetry(const Slot& slot) const;
    void react(std::size_t index, DeckReaction reaction, Instant at);
    void writeDue();

    const Options& options_;
    WireLog& log_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending_;
    std::uint64_t sequence_ = 0;
};

}  // namespace korvel::sim::vtr
