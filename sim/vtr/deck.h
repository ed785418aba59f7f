#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/vtr/control_command.h"
#include "sim/vtr/faults.h"
#include "sim/vtr/frame.h"
#include "sim/vtr/frame_reader.h"
#include "sim/vtr/instant.h"
#include "sim/vtr/transport.h"

namespace korvel::sim::vtr {

// What a deck answers to the device type request: two model bytes. The default is a 625-line
// Betacam SP deck's, matching the 25 frames a second this deck counts.
using ModelBytes = std::array<std::uint8_t, 2>;
constexpr ModelBytes kDefaultModel = {0x21, 0x25};

// The four bytes of user bits recorded beside the tape's timecode, in wire order.
using UserBits = std::array<std::uint8_t, 4>;

struct DeckSettings {
    TransportSettings transport;
    ModelBytes model = kDefaultModel;
    UserBits userBits{};
    std::chrono::microseconds byteTimeout{10'000};  // a pause this long ends a frame
    std::uint32_t garbageSeed = 1;                  // garbage bytes are reproducible per seed
};

// Bytes to put on the wire at a given time.
struct Transmission {
    Instant due;
    Bytes bytes;
};

// What one call made of the deck's input: the received frames and skipped bytes (for the wire
// log), and the writes that answer them, in order.
struct DeckReaction {
    std::vector<ReceivedEvent> received;
    std::vector<Transmission> writes;
};

// One emulated Sony 9-pin machine: bytes and the time in, reply bytes and their times out. No
// I/O and no clock of its own, so it is tested without ports or sleeps.
class Deck {
  public:
    Deck(const DeckSettings& settings, Instant now);

    DeckReaction receive(std::span<const std::uint8_t> bytes, Instant now);
    // Answers a frame left incomplete past its byte time-out.
    DeckReaction expire(Instant now);
    // When expire() next has something to do; none while no frame is incomplete.
    std::optional<Instant> deadline() const { return reader_.deadline(); }

    // Applies a control command addressed to this deck (its deck number is not checked here).
    void control(const ControlCommand& command, Instant now);

    const Faults& faults() const { return faults_; }
    // One line of the deck's state for the log: transport, timecode, switches and faults.
    std::string describe(Instant now);
    Transport& transport() { return transport_; }

    // The reply of a healthy machine to one good frame; faults are not applied.
    Bytes answer(std::span<const std::uint8_t> frame, Instant now);

  private:
    DeckReaction react(std::vector<ReceivedEvent> events, Instant now);
    Bytes timeSense(std::uint8_t request, Instant now);
    void send(Bytes reply, Instant now, std::vector<Transmission>& writes);
    std::uint8_t garbageByte();

    Transport transport_;
    FrameReader reader_;
    Faults faults_;
    ModelBytes model_;
    UserBits userBits_;
    std::uint32_t garbageState_;
    Instant lastDue_{0};  // replies never overtake one another
};

}  // namespace korvel::sim::vtr
