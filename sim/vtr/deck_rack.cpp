#include "sim/vtr/deck_rack.h"

#include <chrono>

namespace korvel::sim::vtr {

namespace {

constexpr std::chrono::seconds kRetryInterval{1};

const char* receivedEventName(ReceivedEvent::Kind kind) {
    switch (kind) {
        case ReceivedEvent::Kind::kFrame:
            return "rx";
        case ReceivedEvent::Kind::kBadChecksum:
            return "bad";
        case ReceivedEvent::Kind::kTimedOut:
            return "timeout";
        case ReceivedEvent::Kind::kDiscarded:
            return "drop";
    }
    return "rx";
}

}  // namespace

DeckRack::DeckRack(const Options& options, WireLog& log, const PortMaker& makePort)
    : options_(options), log_(log) {
    const Instant start = now();
    std::uint32_t seed = 1;
    for (const PortOption& portOption : options.ports) {
        DeckSettings settings = options.deck;
        settings.garbageSeed = seed++;
        slots_.push_back(std::make_unique<Slot>(settings, start, makePort(portOption)));
    }
}

Instant DeckRack::now() {
    return std::chrono::duration_cast<Instant>(std::chrono::steady_clock::now().time_since_epoch());
}

bool DeckRack::start(std::string& error) {
    log_.write(now(), 0, "start", std::to_string(slots_.size()) + " decks");
    // Start-up commands first, so a deck that starts with its port closed never shows it.
    for (const std::string& line : options_.commands) {
        if (!applyControl(line, error)) {
            error = "--command \"" + line + "\": " + error;
            return false;
        }
        log_.write(now(), 0, "ctl", line);
    }
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = *slots_[i];
        if (slot.deck.faults().portClosed) continue;
        // A device not there yet is logged and tried again; a pty that cannot be made ends it.
        if (!slot.port->retriesOpen() && !slot.port->open(error)) return false;
        syncPort(i);
    }
    return true;
}

void DeckRack::controlLine(const std::string& line) {
    if (line.empty() || line[0] == '#') return;
    std::string error;
    if (applyControl(line, error)) {
        for (std::size_t i = 0; i < slots_.size(); ++i) syncPort(i);
        log_.write(now(), 0, "ctl", line);
    } else {
        log_.write(now(), 0, "ctlerr", line + ": " + error);
    }
}

bool DeckRack::applyControl(const std::string& line, std::string& error) {
    const ControlParse parse = parseControlLine(line);
    if (!parse.command) {
        error = parse.error;
        return false;
    }
    const ControlCommand& command = *parse.command;
    if (command.deck != ControlCommand::kAllDecks &&
        static_cast<std::size_t>(command.deck) > slots_.size()) {
        error = "no deck " + std::to_string(command.deck);
        return false;
    }
    const Instant at = now();
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (command.deck != ControlCommand::kAllDecks &&
            static_cast<std::size_t>(command.deck) != i + 1)
            continue;
        slots_[i]->deck.control(command, at);
        if (command.action == ControlCommand::Action::kShow)
            log_.write(at, static_cast<int>(i + 1), "state", slots_[i]->deck.describe(at));
    }
    return true;
}

void DeckRack::syncPort(std::size_t index) {
    Slot& slot = *slots_[index];
    const int deckNumber = static_cast<int>(index + 1);
    const bool wantOpen = !slot.deck.faults().portClosed;
    DeckPort& port = *slot.port;
    if (wantOpen == port.isOpen()) {
        if (port.isOpen() && slot.opened == 0) {  // opened by start()
            ++slot.opened;
            log_.write(now(), deckNumber, "open", port.describe());
        }
        return;
    }
    if (!wantOpen) {
        port.close();
        log_.write(now(), deckNumber, "closed", port.name());
        return;
    }
    std::string error;
    if (port.open(error)) {
        ++slot.opened;
        slot.failing = false;
        log_.write(now(), deckNumber, "open", port.describe());
        return;
    }
    // Each spell of failures is logged once: an adapter left unplugged fills no log.
    if (!slot.failing)
        log_.write(now(), deckNumber, "error", error + (port.retriesOpen() ? ", retrying" : ""));
    slot.failing = true;
    slot.retryAt = now() + kRetryInterval;
}

bool DeckRack::wantsRetry(const Slot& slot) const {
    return slot.port->retriesOpen() && !slot.port->isOpen() && !slot.deck.faults().portClosed;
}

void DeckRack::react(std::size_t index, DeckReaction reaction, Instant at) {
    const int deckNumber = static_cast<int>(index + 1);
    for (const ReceivedEvent& event : reaction.received)
        log_.bytes(at, deckNumber, receivedEventName(event.kind), event.bytes);
    for (Transmission& write : reaction.writes)
        pending_.push({write.due, sequence_++, index, std::move(write.bytes)});
}

void DeckRack::readPort(std::size_t index) {
    Slot& slot = *slots_[index];
    std::uint8_t buffer[256];
    for (;;) {
        if (!slot.port->isOpen()) return;
        const int n = slot.port->read(buffer, sizeof buffer);
        if (n <= 0) break;  // drained, or nothing to read from a hung-up port
        const Instant at = now();
        react(index, slot.deck.receive(std::span(buffer, static_cast<std::size_t>(n)), at), at);
    }
    if (slot.port->isOpen() && slot.port->gone() && slot.port->retriesOpen()) portFailed(index);
}

void DeckRack::writeDue() {
    while (!pending_.empty() && pending_.top().due <= now()) {
        const Pending& write = pending_.top();
        Slot& slot = *slots_[write.slot];
        const int deckNumber = static_cast<int>(write.slot + 1);
        if (slot.port->isOpen()) {
            std::string error;
            const int n =
                slot.port->write(write.bytes.data(), static_cast<int>(write.bytes.size()), error);
            const Instant at = now();
            if (n == static_cast<int>(write.bytes.size())) {
                log_.bytes(at, deckNumber, "tx", write.bytes);
            } else if (n < 0) {
                log_.write(at, deckNumber, "txerr", error);
                // A device that cannot be written to has most likely gone: open it again.
                if (slot.port->retriesOpen()) portFailed(write.slot);
            } else {
                log_.write(at, deckNumber, "txerr",
                           "short write " +
                               hexBytes(std::span(write.bytes).first(static_cast<std::size_t>(n))));
            }
        }
        pending_.pop();  // a reply due while the port is closed is lost with the port
    }
}

void DeckRack::service() {
    for (std::size_t i = 0; i < slots_.size(); ++i)
        if (wantsRetry(*slots_[i]) && slots_[i]->retryAt <= now()) syncPort(i);
    writeDue();
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const auto deadline = slots_[i]->deck.deadline();
        if (deadline && *deadline <= now()) {
            const Instant at = now();
            react(i, slots_[i]->deck.expire(at), at);
        }
    }
    writeDue();
}

std::optional<Instant> DeckRack::nextDue() const {
    std::optional<Instant> next;
    if (!pending_.empty()) next = pending_.top().due;
    for (const auto& slot : slots_) {
        if (const auto deadline = slot->deck.deadline(); deadline && (!next || *deadline < *next))
            next = deadline;
        if (wantsRetry(*slot) && (!next || slot->retryAt < *next)) next = slot->retryAt;
    }
    return next;
}

int DeckRack::waitMs() const {
    const std::optional<Instant> next = nextDue();
    if (!next) return -1;
    const auto wait = *next - now();
    if (wait.count() <= 0) return 0;
    return static_cast<int>((wait.count() + 999) / 1000);  // round up: never wake early
}

void DeckRack::portFailed(std::size_t index) {
    // The port broke under us: a fresh pty behind the same link, or the device opened again
    // (now or when it is back), keeps the deck usable.
    log_.write(now(), static_cast<int>(index + 1), "error", "port failed, reopening");
    slots_[index]->port->close();
    syncPort(index);
}

void DeckRack::portHungUp(std::size_t index) {
    // A pty's last controller has gone: the next one finds the line as the first did. A
    // device that hangs up has gone away itself, and is opened again when it is back.
    const int deckNumber = static_cast<int>(index + 1);
    std::string error;
    if (slots_[index]->port->hangUp(error)) {
        log_.write(now(), deckNumber, "released", "line settings restored");
        return;
    }
    log_.write(now(), deckNumber, "error", error + ", reopening");
    slots_[index]->port->close();
    syncPort(index);
}

void DeckRack::shutdown() {
    for (auto& slot : slots_) slot->port->close();
    log_.write(now(), 0, "stop", "");
}

}  // namespace korvel::sim::vtr
