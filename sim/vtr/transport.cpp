#include "sim/vtr/transport.h"

#include <algorithm>
#include <cmath>

#include "sim/vtr/timecode.h"

namespace korvel::sim::vtr {

namespace {

constexpr std::int32_t kPlayPermille = 1000;
constexpr std::int32_t kWindPermille = 30 * kPlayPermille;  // fast forward and rewind
constexpr std::int32_t kMaxPermille = 50 * kPlayPermille;
constexpr std::int64_t kLastMilliframe = (kFramesPerDay - 1) * 1000;

std::int32_t signedRate(Direction direction, std::int32_t permille) {
    return direction == Direction::kReverse ? -permille : permille;
}

}  // namespace

// Switching between play and record keeps the lock, or the way to it.
bool Transport::atPlaySpeed() const {
    return mode_ == Mode::kPlay || mode_ == Mode::kRecord;
}

Instant Transport::lockTime() const {
    return Instant(settings_.lockFrames * 1'000'000 / kFramesPerSecond);
}

std::int32_t Transport::speedPermille(std::uint8_t speed) {
    if (speed == 0) return 0;
    const double permille = 1000.0 * std::pow(10.0, speed / 32.0 - 2.0);
    return static_cast<std::int32_t>(std::min<double>(std::lround(permille), kMaxPermille));
}

Transport::Transport(const TransportSettings& settings, Instant now)
    : settings_(settings),
      anchorTime_(now),
      anchorMilliframes_(std::clamp<std::int64_t>(settings.startFrames, 0, kFramesPerDay - 1) *
                         1000) {}

bool Transport::acceptsTransportCommand() const {
    return !local_ && mode_ != Mode::kEjected;
}

std::int64_t Transport::milliframesAt(Instant now) const {
    if (mode_ == Mode::kCueing) {
        const std::int64_t total = (cueArrival_ - anchorTime_).count();
        const std::int64_t elapsed =
            std::clamp<std::int64_t>((now - anchorTime_).count(), 0, total);
        const std::int64_t distance = cueTarget_ * 1000 - cueFrom_;
        // In floating point: a day's distance times a slow cue's microseconds overflows.
        return total == 0 ? cueTarget_ * 1000
                          : cueFrom_ + std::llround(static_cast<double>(distance) *
                                                    static_cast<double>(elapsed) /
                                                    static_cast<double>(total));
    }
    const std::int64_t elapsed = (now - anchorTime_).count();
    return anchorMilliframes_ + elapsed * kFramesPerSecond * ratePermille_ / 1'000'000;
}

void Transport::enter(Mode mode, std::int32_t ratePermille, Instant now) {
    anchorMilliframes_ = std::clamp<std::int64_t>(milliframesAt(now), 0, kLastMilliframe);
    anchorTime_ = now;
    mode_ = mode;
    ratePermille_ = ratePermille;
}

void Transport::settle(Instant now) {
    if (mode_ == Mode::kCueing && now >= cueEnd_) {
        anchorMilliframes_ = cueTarget_ * 1000;
        anchorTime_ = cueEnd_;
        mode_ = Mode::kCued;
        ratePermille_ = 0;
    }
    if (ratePermille_ == 0) return;
    const std::int64_t at = milliframesAt(now);
    if (at >= 0 && at <= kLastMilliframe) return;
    // The tape ran off one end: it stopped there, at the moment it reached it.
    const std::int64_t end = at < 0 ? 0 : kLastMilliframe;
    const std::int64_t micros =
        (end - anchorMilliframes_) * 1'000'000 / (kFramesPerSecond * ratePermille_);
    anchorMilliframes_ = end;
    anchorTime_ += Instant(micros);
    mode_ = Mode::kStop;
    ratePermille_ = 0;
}

void Transport::stop(Instant now) {
    settle(now);
    if (acceptsTransportCommand()) enter(Mode::kStop, 0, now);
}

void Transport::play(Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    direction_ = Direction::kForward;
    if (!atPlaySpeed()) lockAt_ = now + lockTime();
    enter(Mode::kPlay, kPlayPermille, now);
    standby_ = true;
}

void Transport::record(Instant now) {
    settle(now);
    if (!acceptsTransportCommand() || recordInhibit_) return;
    direction_ = Direction::kForward;
    if (!atPlaySpeed()) lockAt_ = now + lockTime();
    enter(Mode::kRecord, kPlayPermille, now);
    standby_ = true;
}

void Transport::fastForward(Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    direction_ = Direction::kForward;
    enter(Mode::kFastForward, kWindPermille, now);
    standby_ = true;
}

void Transport::rewind(Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    direction_ = Direction::kReverse;
    enter(Mode::kRewind, -kWindPermille, now);
    standby_ = true;
}

void Transport::var(Direction direction, std::uint8_t speed, Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    direction_ = direction;
    enter(Mode::kVar, signedRate(direction, speedPermille(speed)), now);
    standby_ = true;
}

void Transport::shuttle(Direction direction, std::uint8_t speed, Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    direction_ = direction;
    enter(Mode::kShuttle, signedRate(direction, speedPermille(speed)), now);
    standby_ = true;
}

void Transport::jog(Direction direction, std::uint8_t speed, Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    direction_ = direction;
    enter(Mode::kJog, signedRate(direction, speedPermille(speed)), now);
    standby_ = true;
}

void Transport::standby(bool on, Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    if (!on && mode_ != Mode::kStop) enter(Mode::kStop, 0, now);
    standby_ = on;
}

void Transport::eject(Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    enter(Mode::kEjected, 0, now);
    standby_ = false;
}

void Transport::insertTape(Instant now) {
    settle(now);
    if (mode_ != Mode::kEjected) return;
    enter(Mode::kStop, 0, now);
    standby_ = false;
}

void Transport::removeTape(Instant now) {
    settle(now);
    enter(Mode::kEjected, 0, now);
    standby_ = false;
}

void Transport::cueTo(std::int64_t frames, Instant now) {
    settle(now);
    if (!acceptsTransportCommand()) return;
    enter(Mode::kStop, 0, now);  // fixes the position the cue starts from
    cueFrom_ = anchorMilliframes_;
    cueTarget_ = std::clamp<std::int64_t>(frames, 0, kFramesPerDay - 1);
    // Without a cue speed the tape moves through the whole cue time; with one, it winds at
    // that speed and then settles at the point for the cue time.
    if (settings_.cueSpeed > 0) {
        const std::int64_t milliframes = std::abs(cueTarget_ * 1000 - cueFrom_);
        cueArrival_ = now + Instant(milliframes * 1000 / (kFramesPerSecond * settings_.cueSpeed));
        cueEnd_ = cueArrival_ + settings_.cueTime;
    } else {
        cueArrival_ = cueEnd_ = now + settings_.cueTime;
    }
    direction_ = cueTarget_ * 1000 < cueFrom_ ? Direction::kReverse : Direction::kForward;
    mode_ = Mode::kCueing;
    standby_ = true;
    settle(now);  // a cue time of zero arrives at once
}

void Transport::preroll(Instant now) {
    const std::int64_t base = inSet_ ? inPoint_ : position(now);
    cueTo(std::max<std::int64_t>(0, base - settings_.prerollFrames), now);
}

Transport::Mode Transport::mode(Instant now) {
    settle(now);
    return mode_;
}

bool Transport::readsLtc(Instant now) {
    settle(now);
    const bool running = mode_ == Mode::kPlay || mode_ == Mode::kRecord || mode_ == Mode::kVar ||
                         mode_ == Mode::kShuttle;
    const std::int32_t speed = std::abs(ratePermille_);
    return running && speed >= kPlayPermille / 10 && speed <= 10 * kPlayPermille;
}

std::int64_t Transport::position(Instant now) {
    settle(now);
    return std::clamp<std::int64_t>(milliframesAt(now), 0, kLastMilliframe) / 1000;
}

std::string Transport::describe(Instant now) {
    static constexpr const char* kModeNames[] = {"stop",   "play", "record",  "ffwd",
                                                 "rewind", "var",  "shuttle", "jog",
                                                 "cueing", "cued", "ejected"};
    const auto onOff = [](bool on) { return on ? "on" : "off"; };
    const std::string mode = kModeNames[static_cast<int>(this->mode(now))];
    return "mode=" + mode + " tc=" + formatTimecode(position(now)) + " standby=" + onOff(standby_) +
           " local=" + onOff(local_) + " inhibit=" + onOff(recordInhibit_) +
           " in=" + (inSet_ ? formatTimecode(inPoint_) : "-") +
           " out=" + (outSet_ ? formatTimecode(outPoint_) : "-");
}

StatusBytes Transport::status(Instant now) {
    settle(now);
    StatusBytes s{};
    const bool moving = ratePermille_ != 0;
    const bool reverse = direction_ == Direction::kReverse;
    if (local_) s[0] |= 0x01;
    if (mode_ == Mode::kEjected) s[0] |= 0x20;  // tape out
    if (standby_) s[1] |= 0x80;
    switch (mode_) {
        case Mode::kStop:
            s[1] |= 0x20;
            break;
        // Until the lock, neither stop nor play: the transport is on its way.
        case Mode::kPlay:
            if (now >= lockAt_) s[1] |= 0x01, s[2] |= 0x80;
            break;
        case Mode::kRecord:
            if (now >= lockAt_) s[1] |= 0x03, s[2] |= 0x80;
            break;  // record shows play as well
        case Mode::kFastForward:
            s[1] |= 0x04;
            break;
        case Mode::kRewind:
            s[1] |= 0x08, s[2] |= 0x04;
            break;
        case Mode::kVar:
            s[2] |= 0x08 | (reverse ? 0x04 : 0) | (moving ? 0 : 0x02);
            break;
        case Mode::kShuttle:
            s[2] |= 0x20 | (reverse ? 0x04 : 0) | (moving ? 0 : 0x02);
            break;
        case Mode::kJog:
            s[2] |= 0x10 | (reverse ? 0x04 : 0) | (moving ? 0 : 0x02);
            break;
        case Mode::kCueing:
            s[4] |= 0x01, s[2] |= reverse ? 0x04 : 0;
            break;
        case Mode::kCued:
            s[2] |= 0x01 | 0x02;
            break;  // cue-up complete, still
        case Mode::kEjected:
            s[1] |= 0x10;
            break;
    }
    if (inSet_) s[3] |= 0x01;
    if (outSet_) s[3] |= 0x02;
    if (fullEe_) s[4] |= 0x40;
    if (selectEe_) s[4] |= 0x80;
    if (recordInhibit_) s[8] |= 0x01;
    return s;
}

}  // namespace korvel::sim::vtr
