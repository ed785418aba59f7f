#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "sim/vtr/instant.h"

namespace korvel::sim::vtr {

// The status bytes a machine reports; status sense reads a window of them.
constexpr std::size_t kStatusBytes = 16;
using StatusBytes = std::array<std::uint8_t, kStatusBytes>;

enum class Direction { kForward, kReverse };

struct TransportSettings {
    std::int64_t startFrames = 10 * 60 * 60 * 25;  // 10:00:00:00, as tapes are striped
    std::chrono::microseconds cueTime{500'000};    // a cue's settling at its point
    // Times play speed at which a cue winds to its point, so a far cue takes longer than a
    // near one; 0: every cue takes cueTime whatever the distance.
    std::int32_t cueSpeed = 30;
    std::int64_t prerollFrames = 5 * 25;  // preroll stops this far before the in point
    // Frames from a play or record command until the machine reports play and servo lock:
    // the tape has to be laced and brought up to speed first.
    std::int64_t lockFrames = 5;
};

// The tape transport: its mode, the tape position moving with time, and the status bits a
// Sony machine reports for them. Time is handed in; position and mode are settled lazily at
// each call, so a cue completes, or a wind stops at the end of the tape, at the instant it would
// have happened, however late the next call comes.
class Transport {
  public:
    enum class Mode {
        kStop,
        kPlay,
        kRecord,
        kFastForward,
        kRewind,
        kVar,
        kShuttle,
        kJog,
        kCueing,
        kCued,
        kEjected
    };

    explicit Transport(const TransportSettings& settings, Instant now);

    // Transport commands. While the deck is in local mode or holds no tape they change nothing,
    // as a machine ignores remote transport commands then.
    void stop(Instant now);
    void play(Instant now);
    void record(Instant now);  // also refused while recording is inhibited
    void fastForward(Instant now);
    void rewind(Instant now);
    void var(Direction direction, std::uint8_t speed, Instant now);
    void shuttle(Direction direction, std::uint8_t speed, Instant now);
    void jog(Direction direction, std::uint8_t speed, Instant now);
    void standby(bool on, Instant now);
    void eject(Instant now);
    void cueTo(std::int64_t frames, Instant now);
    void preroll(Instant now);

    // Presets and EE switching.
    void presetIn(std::int64_t frames) { inPoint_ = frames, inSet_ = true; }
    void presetOut(std::int64_t frames) { outPoint_ = frames, outSet_ = true; }
    void enterIn(Instant now) { presetIn(position(now)); }
    void enterOut(Instant now) { presetOut(position(now)); }
    void presetPreroll(std::int64_t frames) { settings_.prerollFrames = frames; }
    void resetIn() { inSet_ = false; }
    void resetOut() { outSet_ = false; }
    void fullEe(bool on) { fullEe_ = on; }
    void selectEe(bool on) { selectEe_ = on; }

    // Conditions an operator sets at the machine.
    void setLocal(bool on) { local_ = on; }
    void setRecordInhibit(bool on) { recordInhibit_ = on; }
    void insertTape(Instant now);
    void removeTape(Instant now);  // the operator takes the tape out, local mode or not

    Mode mode(Instant now);
    std::int64_t position(Instant now);  // frames from 00:00:00:00
    // False while the LTC head cannot read the tape (stopped, still, jog, a wind, a cue, no
    // tape): the machine then gives a time it carries on from the control track.
    bool readsLtc(Instant now);
    StatusBytes status(Instant now);
    // "mode=play tc=10:00:01:00 standby=on local=off inhibit=off in=- out=10:01:00:00"
    std::string describe(Instant now);
    std::int64_t inPoint() const { return inPoint_; }
    std::int64_t outPoint() const { return outPoint_; }
    std::int64_t prerollFrames() const { return settings_.prerollFrames; }

    // Tape speed, in thousandths of play speed, for a Sony speed byte: 10^(N/32 - 2) times play
    // speed (32: 0.1x, 64: 1x, 96: 10x), 0 for a still, at most 50x.
    static std::int32_t speedPermille(std::uint8_t speed);

  private:
    bool acceptsTransportCommand() const;
    bool atPlaySpeed() const;
    Instant lockTime() const;
    void settle(Instant now);
    void enter(Mode mode, std::int32_t ratePermille, Instant now);
    std::int64_t milliframesAt(Instant now) const;

    TransportSettings settings_;
    Mode mode_ = Mode::kStop;
    Instant anchorTime_;
    std::int64_t anchorMilliframes_;  // position at anchorTime_
    std::int32_t ratePermille_ = 0;   // signed, thousandths of play speed
    Direction direction_ = Direction::kForward;
    std::int64_t cueFrom_ = 0;    // milliframes, while cueing
    std::int64_t cueTarget_ = 0;  // frames
    Instant cueArrival_{0};       // the tape reaches the cue point
    Instant cueEnd_{0};           // cued
    Instant lockAt_{0};           // play and servo lock are reported from then on
    bool standby_ = false;
    bool local_ = false;
    bool recordInhibit_ = false;
    bool inSet_ = false;
    bool outSet_ = false;
    std::int64_t inPoint_ = 0;
    std::int64_t outPoint_ = 0;
    bool fullEe_ = false;
    bool selectEe_ = false;
};

}  // namespace korvel::sim::vtr
