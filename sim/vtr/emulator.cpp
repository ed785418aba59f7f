#include "sim/vtr/emulator.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "sim/vtr/pty_port.h"
#include "sim/vtr/serial_device_port.h"

namespace korvel::sim::vtr {

namespace {

constexpr std::chrono::seconds kRetryInterval{1};

std::unique_ptr<DeckPort> makePort(const PortSpec& spec) {
    if (spec.device) return std::make_unique<SerialDevicePort>(spec.path, spec.line);
    return std::make_unique<PtyPort>(spec.path);
}

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

Emulator::Emulator(const Options& options, WireLog& log) : options_(options), log_(log) {
    const Instant start = now();
    std::uint32_t seed = 1;
    for (const PortSpec& spec : options.ports) {
        DeckSettings settings = options.deck;
        settings.garbageSeed = seed++;
        slots_.push_back(std::make_unique<Slot>(settings, start, makePort(spec)));
    }
}

Instant Emulator::now() {
    return std::chrono::duration_cast<Instant>(std::chrono::steady_clock::now().time_since_epoch());
}

bool Emulator::start(std::string& error) {
    log_.write(now(), 0, "start", std::to_string(slots_.size()) + " decks");
    if (!options_.controlPath.empty() && !control_.open(options_.controlPath, error)) return false;
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

bool Emulator::applyControl(const std::string& line, std::string& error) {
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

void Emulator::syncPort(std::size_t index) {
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

bool Emulator::wantsRetry(const Slot& slot) const {
    return slot.port->retriesOpen() && !slot.port->isOpen() && !slot.deck.faults().portClosed;
}

void Emulator::react(std::size_t index, DeckReaction reaction, Instant at) {
    const int deckNumber = static_cast<int>(index + 1);
    for (const ReceivedEvent& event : reaction.received)
        log_.bytes(at, deckNumber, receivedEventName(event.kind), event.bytes);
    for (Transmission& write : reaction.writes)
        pending_.push({write.due, sequence_++, index, std::move(write.bytes)});
}

void Emulator::readPort(std::size_t index) {
    Slot& slot = *slots_[index];
    std::uint8_t buffer[256];
    for (;;) {
        const ssize_t n = read(slot.port->fd(), buffer, sizeof buffer);
        if (n <= 0) break;  // drained (EAGAIN), or nothing to read from a hung-up port
        const Instant at = now();
        react(index, slot.deck.receive(std::span(buffer, static_cast<std::size_t>(n)), at), at);
    }
}

void Emulator::writeDue() {
    while (!pending_.empty() && pending_.top().due <= now()) {
        const Pending& write = pending_.top();
        Slot& slot = *slots_[write.slot];
        const int deckNumber = static_cast<int>(write.slot + 1);
        if (slot.port->isOpen()) {
            const ssize_t n = ::write(slot.port->fd(), write.bytes.data(), write.bytes.size());
            const Instant at = now();
            if (n == static_cast<ssize_t>(write.bytes.size()))
                log_.bytes(at, deckNumber, "tx", write.bytes);
            else if (n < 0)
                log_.write(at, deckNumber, "txerr", std::strerror(errno));
            else
                log_.write(at, deckNumber, "txerr",
                           "short write " +
                               hexBytes(std::span(write.bytes).first(static_cast<std::size_t>(n))));
        }
        pending_.pop();  // a reply due while the port is closed is lost with the port
    }
}

int Emulator::pollTimeoutMs() const {
    std::optional<Instant> next;
    if (!pending_.empty()) next = pending_.top().due;
    for (const auto& slot : slots_) {
        if (const auto deadline = slot->deck.deadline(); deadline && (!next || *deadline < *next))
            next = deadline;
        if (wantsRetry(*slot) && (!next || slot->retryAt < *next)) next = slot->retryAt;
    }
    if (!next) return -1;
    const auto wait = *next - now();
    if (wait.count() <= 0) return 0;
    return static_cast<int>((wait.count() + 999) / 1000);  // round up: never wake early
}

void Emulator::run(int stopFd) {
    for (;;) {
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

        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        if (control_.fd() >= 0) fds.push_back({control_.fd(), POLLIN, 0});
        // Per open port: its watch, and its master while a controller may hold it (with
        // nobody there the master reports hang-up without end).
        struct Polled {
            std::size_t index;
            unsigned opened;
            std::size_t watch;
            std::size_t master;  // 0: not polled
        };
        std::vector<Polled> polled;
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            const DeckPort& port = *slots_[i]->port;
            if (!port.isOpen()) continue;
            Polled entry{i, slots_[i]->opened, fds.size(), 0};
            fds.push_back({port.watchFd(), POLLIN, 0});
            if (port.held()) {
                entry.master = fds.size();
                fds.push_back({port.fd(), POLLIN, 0});
            }
            polled.push_back(entry);
        }
        if (poll(fds.data(), fds.size(), pollTimeoutMs()) < 0) {
            if (errno == EINTR) continue;
            log_.write(now(), 0, "error", std::string("poll: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) return;
        if (control_.fd() >= 0) {
            if (fds[1].revents & POLLIN) {
                for (const std::string& line : control_.readLines()) {
                    if (line.empty() || line[0] == '#') continue;
                    std::string error;
                    if (applyControl(line, error)) {
                        for (std::size_t i = 0; i < slots_.size(); ++i) syncPort(i);
                        log_.write(now(), 0, "ctl", line);
                    } else {
                        log_.write(now(), 0, "ctlerr", line + ": " + error);
                    }
                }
            }
        }
        for (const Polled& entry : polled) {
            const std::size_t index = entry.index;
            // A port closed (or closed and opened again) by a control line above is not the
            // one polled.
            if (!slots_[index]->port->isOpen() || slots_[index]->opened != entry.opened) continue;
            // The master first: news of a new controller must not be undone by the hang-up
            // the previous one left.
            if (entry.master != 0) servePort(index, fds[entry.master].revents);
            DeckPort& port = *slots_[index]->port;
            if (!port.isOpen() || slots_[index]->opened != entry.opened) continue;
            if ((fds[entry.watch].revents & POLLIN) && port.takeWatchNews())
                log_.write(now(), static_cast<int>(index + 1), "held", port.describe());
        }
    }
}

void Emulator::servePort(std::size_t index, short revents) {
    Slot& slot = *slots_[index];
    const int deckNumber = static_cast<int>(index + 1);
    if (revents & POLLIN) readPort(index);
    if (revents & (POLLERR | POLLNVAL)) {
        // The port broke under us: a fresh pty behind the same link, or the device opened
        // again (now or when it is back), keeps the deck usable.
        log_.write(now(), deckNumber, "error", "port failed, reopening");
        slot.port->close();
        syncPort(index);
    } else if (revents & POLLHUP) {
        // A pty's last controller has gone: the next one finds the line as the first did. A
        // device that hangs up has gone away itself, and is opened again when it is back.
        std::string error;
        if (slot.port->hangUp(error)) {
            log_.write(now(), deckNumber, "released", "line settings restored");
        } else {
            log_.write(now(), deckNumber, "error", error + ", reopening");
            slot.port->close();
            syncPort(index);
        }
    }
}

void Emulator::shutdown() {
    for (std::size_t i = 0; i < slots_.size(); ++i) slots_[i]->port->close();
    log_.write(now(), 0, "stop", "");
}

}  // namespace korvel::sim::vtr
