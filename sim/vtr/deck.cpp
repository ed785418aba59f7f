#include "sim/vtr/deck.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/vtr/timecode.h"

namespace korvel::sim::vtr {

namespace {

// A command is known by its first two bytes: CMD1 carries the data count, so a known CMD2
// with the wrong number of data bytes is an undefined command as well.
constexpr std::uint16_t key(std::uint8_t cmd1, std::uint8_t cmd2) {
    return static_cast<std::uint16_t>(cmd1 << 8 | cmd2);
}

Bytes statusReply(const StatusBytes& status, std::uint8_t request) {
    const std::size_t first = request >> 4;
    const std::size_t count = request & 0x0F;
    Bytes data(count, 0);
    for (std::size_t i = 0; i < count; ++i)
        if (first + i < status.size()) data[i] = status[first + i];
    return makeFrame(0x70, 0x20, data);
}

}  // namespace

// Current time sense: the request's bits ask for LTC (01), VITC (02), timer 1 (04), timer 2 (08),
// LTC user bits (10) and VITC user bits (20); one reply, the first of these that is asked, with
// the user bits beside a time of the same kind (78 04, 78 06). LTC that the head cannot read is
// carried on from the control track and flagged so (74 14, 78 14).
Bytes Deck::timeSense(std::uint8_t request, Instant now) {
    const BcdTimecode time = toBcd(transport_.position(now));
    const auto withUserBits = [&](std::uint8_t cmd2) {
        Bytes data(time.begin(), time.end());
        data.insert(data.end(), userBits_.begin(), userBits_.end());
        return makeFrame(0x70, cmd2, data);
    };
    const std::uint8_t ltc = transport_.readsLtc(now) ? 0x04 : 0x14;
    if (request & 0x01) return request & 0x10 ? withUserBits(ltc) : makeFrame(0x70, ltc, time);
    if (request & 0x02) return request & 0x20 ? withUserBits(0x06) : makeFrame(0x70, 0x06, time);
    if (request & 0x04) return makeFrame(0x70, 0x00, time);
    if (request & 0x08) return makeFrame(0x70, 0x01, time);
    if (request & 0x10) return makeFrame(0x70, 0x05, userBits_);
    if (request & 0x20) return makeFrame(0x70, 0x07, userBits_);
    return makeNak(kNakUndefinedCommand);
}

Deck::Deck(const DeckSettings& settings, Instant now)
    : transport_(settings.transport, now),
      reader_(settings.byteTimeout),
      model_(settings.model),
      userBits_(settings.userBits),
      garbageState_(settings.garbageSeed == 0 ? 0x9E3779B9u : settings.garbageSeed) {}

DeckReaction Deck::receive(std::span<const std::uint8_t> bytes, Instant now) {
    DeckReaction reaction = react(reader_.feed(bytes, now), now);
    // The line gives the bytes back before the deck has read them, so ahead of any reply.
    if (faults_.echo && !bytes.empty())
        reaction.writes.insert(reaction.writes.begin(),
                               Transmission{now, Bytes(bytes.begin(), bytes.end())});
    return reaction;
}

DeckReaction Deck::expire(Instant now) {
    return react(reader_.expire(now), now);
}

DeckReaction Deck::react(std::vector<ReceivedEvent> events, Instant now) {
    DeckReaction reaction;
    for (const ReceivedEvent& event : events) {
        Bytes reply;
        switch (event.kind) {
            case ReceivedEvent::Kind::kFrame:
                if (faults_.silent) break;
                if (faults_.nakCount > 0) {
                    --faults_.nakCount;
                    reply = makeNak(faults_.nakError);
                } else {
                    reply = answer(event.bytes, now);
                }
                break;
            case ReceivedEvent::Kind::kBadChecksum:
                reply = makeNak(kNakChecksumError);
                break;
            case ReceivedEvent::Kind::kTimedOut:
                reply = makeNak(kNakTimeOut);
                break;
            case ReceivedEvent::Kind::kDiscarded:
                break;
        }
        if (!reply.empty() && !faults_.silent) send(std::move(reply), now, reaction.writes);
    }
    reaction.received = std::move(events);
    return reaction;
}

std::uint8_t Deck::garbageByte() {
    // xorshift32: cheap, and the same bytes for the same seed on every run.
    garbageState_ ^= garbageState_ << 13;
    garbageState_ ^= garbageState_ >> 17;
    garbageState_ ^= garbageState_ << 5;
    return static_cast<std::uint8_t>(garbageState_);
}

void Deck::send(Bytes reply, Instant now, std::vector<Transmission>& writes) {
    if (faults_.corruptChecksum) reply.back() ^= 0xFF;
    if (faults_.garbageBytes > 0) {
        Bytes garbage(static_cast<std::size_t>(faults_.garbageBytes));
        for (auto& b : garbage) b = garbageByte();
        reply.insert(reply.begin(), garbage.begin(), garbage.end());
    }
    // A transmit pair wired A to B: the controller reads every bit the other way round.
    if (faults_.invert)
        for (auto& b : reply) b = static_cast<std::uint8_t>(~b);
    const Instant due = std::max(now + Instant(faults_.replyDelay), lastDue_);
    if (faults_.splitDelay && reply.size() >= 2) {
        const auto half = static_cast<std::ptrdiff_t>(reply.size() / 2);
        writes.push_back({due, Bytes(reply.begin(), reply.begin() + half)});
        lastDue_ = due + Instant(*faults_.splitDelay);
        writes.push_back({lastDue_, Bytes(reply.begin() + half, reply.end())});
    } else {
        writes.push_back({due, std::move(reply)});
        lastDue_ = due;
    }
}

Bytes Deck::answer(std::span<const std::uint8_t> frame, Instant now) {
    if (frame.size() < 3 || frame.size() != frameLengthFor(frame[0]))
        return makeNak(kNakUndefinedCommand);
    const std::uint8_t cmd1 = frame[0];
    const std::uint8_t cmd2 = frame[1];
    const auto data = frame.subspan(2, frame.size() - 3);
    const auto direction = [&] { return cmd2 & 0x20 ? Direction::kReverse : Direction::kForward; };
    const auto timecode = [&]() -> std::optional<std::int64_t> {
        return fromBcd({data[0], data[1], data[2], data[3]});
    };

    switch (key(cmd1, cmd2)) {
        case key(0x00, 0x11):  // device type request
            return makeFrame(0x10, 0x11, model_);
        case key(0x20, 0x00):
            transport_.stop(now);
            break;
        case key(0x20, 0x01):
            transport_.play(now);
            break;
        case key(0x20, 0x02):
            transport_.record(now);
            break;
        case key(0x20, 0x04):
            transport_.standby(false, now);
            break;
        case key(0x20, 0x05):
            transport_.standby(true, now);
            break;
        case key(0x20, 0x0F):
            transport_.eject(now);
            break;
        case key(0x20, 0x10):
            transport_.fastForward(now);
            break;
        case key(0x20, 0x20):
            transport_.rewind(now);
            break;
        case key(0x20, 0x30):
            transport_.preroll(now);
            break;
        case key(0x20, 0x60):
            transport_.fullEe(false);
            break;
        case key(0x20, 0x61):
            transport_.fullEe(true);
            break;
        case key(0x20, 0x63):
            transport_.selectEe(true);
            break;
        // Jog, var and shuttle, forward (x1) and reverse (x2), with one speed byte or with a
        // second, finer one that this machine does not use.
        case key(0x21, 0x11):
        case key(0x21, 0x21):
        case key(0x22, 0x11):
        case key(0x22, 0x21):
            transport_.jog(direction(), data[0], now);
            break;
        case key(0x21, 0x12):
        case key(0x21, 0x22):
        case key(0x22, 0x12):
        case key(0x22, 0x22):
            transport_.var(direction(), data[0], now);
            break;
        case key(0x21, 0x13):
        case key(0x21, 0x23):
        case key(0x22, 0x13):
        case key(0x22, 0x23):
            transport_.shuttle(direction(), data[0], now);
            break;
        // A timecode that is not one (bad digits) is acknowledged and ignored.
        case key(0x24, 0x31):
            if (const auto target = timecode()) transport_.cueTo(*target, now);
            break;
        case key(0x44, 0x14):
            if (const auto point = timecode()) transport_.presetIn(*point);
            break;
        case key(0x44, 0x15):
            if (const auto point = timecode()) transport_.presetOut(*point);
            break;
        case key(0x44, 0x31):
            if (const auto preroll = timecode()) transport_.presetPreroll(*preroll);
            break;
        case key(0x40, 0x10):
            transport_.enterIn(now);
            break;
        case key(0x40, 0x11):
            transport_.enterOut(now);
            break;
        case key(0x40, 0x20):
            transport_.resetIn();
            break;
        case key(0x40, 0x21):
            transport_.resetOut();
            break;
        // Machine settings of the controller's set-up sequence, and local disable and enable
        // (the front panel's buttons): taken, with no visible effect.
        case key(0x00, 0x0C):
        case key(0x00, 0x1D):
        case key(0xA3, 0x32):
        case key(0xA3, 0x33):
        case key(0xA3, 0x35):
        case key(0x25, 0xA7):
        case key(0x22, 0xAC):
            break;
        case key(0x61, 0x20):
            return statusReply(transport_.status(now), data[0]);
        case key(0x61, 0x0C):
            return timeSense(data[0], now);
        case key(0x60, 0x10):
            return makeFrame(0x70, 0x10, toBcd(transport_.inPoint()));
        case key(0x60, 0x11):
            return makeFrame(0x70, 0x11, toBcd(transport_.outPoint()));
        case key(0x60, 0x31):
            return makeFrame(0x70, 0x31, toBcd(transport_.prerollFrames()));
        default:
            return makeNak(kNakUndefinedCommand);
    }
    return makeAck();
}

std::string Deck::describe(Instant now) {
    std::string text = transport_.describe(now) + " faults=";
    const std::size_t before = text.size();
    auto add = [&](const std::string& item) {
        if (text.size() > before) text += ',';
        text += item;
    };
    char nak[32];
    std::snprintf(nak, sizeof nak, "nak:%d:%02x", faults_.nakCount, faults_.nakError);
    if (faults_.silent) add("silent");
    if (faults_.corruptChecksum) add("corrupt");
    if (faults_.nakCount > 0) add(nak);
    if (faults_.garbageBytes > 0) add("garbage:" + std::to_string(faults_.garbageBytes));
    if (faults_.splitDelay) add("split:" + std::to_string(faults_.splitDelay->count()));
    if (faults_.replyDelay.count() > 0) add("delay:" + std::to_string(faults_.replyDelay.count()));
    if (faults_.portClosed) add("closed");
    if (faults_.echo) add("echo");
    if (faults_.invert) add("invert");
    if (text.size() == before) text += "none";
    return text;
}

void Deck::control(const ControlCommand& command, Instant now) {
    using Action = ControlCommand::Action;
    switch (command.action) {
        case Action::kSilent:
            faults_.silent = true;
            break;
        case Action::kCorrupt:
            faults_.corruptChecksum = true;
            break;
        case Action::kNak:
            faults_.nakCount = command.value;
            faults_.nakError = command.nakError;
            break;
        case Action::kGarbage:
            faults_.garbageBytes = command.value;
            break;
        case Action::kSplit:
            faults_.splitDelay = std::chrono::milliseconds(command.value);
            break;
        case Action::kDelay:
            faults_.replyDelay = std::chrono::milliseconds(command.value);
            break;
        case Action::kClosed:
            faults_.portClosed = true;
            reader_.reset();  // nothing half received survives the port
            break;
        case Action::kEcho:
            faults_.echo = true;
            break;
        case Action::kInvert:
            faults_.invert = true;
            break;
        case Action::kClear:
            faults_ = Faults{};
            break;
        case Action::kLocal:
            transport_.setLocal(command.value != 0);
            break;
        case Action::kTape:
            if (command.value != 0)
                transport_.insertTape(now);
            else
                transport_.removeTape(now);
            break;
        case Action::kInhibit:
            transport_.setRecordInhibit(command.value != 0);
            break;
        case Action::kShow:
            break;  // the caller reports describe()
    }
}

}  // namespace korvel::sim::vtr
