#include "sim/vtr/emulator.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sim/vtr/pty_port.h"
#include "sim/vtr/serial_device_port.h"

namespace korvel::sim::vtr {

namespace {

std::unique_ptr<DeckPort> makePort(const PortOption& portOption) {
    if (portOption.device)
        return std::make_unique<SerialDevicePort>(portOption.path, portOption.line);
    if (portOption.linkLine) return std::make_unique<PtyPort>(portOption.path, portOption.line);
    return std::make_unique<PtyPort>(portOption.path);
}

}  // namespace

Emulator::Emulator(const Options& options, WireLog& log)
    : options_(options), rack_(options, log, makePort) {}

bool Emulator::start(std::string& error) {
    if (!options_.controlPath.empty() && !control_.open(options_.controlPath, error)) {
        rack_.log().write(DeckRack::now(), 0, "start", std::to_string(rack_.size()) + " decks");
        return false;
    }
    return rack_.start(error);
}

void Emulator::run(int stopFd) {
    for (;;) {
        rack_.service();

        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        if (control_.fd() >= 0) fds.push_back({control_.fd(), POLLIN, 0});
        // Per open port: its watch, if it has one, and its descriptor while a controller may
        // hold it (with nobody on a pty the master reports hang-up without end).
        struct Polled {
            std::size_t index;
            unsigned opened;
            std::size_t watch;   // 0: none
            std::size_t master;  // 0: not polled
        };
        std::vector<Polled> polled;
        for (std::size_t i = 0; i < rack_.size(); ++i) {
            const DeckPort& port = rack_.port(i);
            if (!port.isOpen()) continue;
            Polled entry{i, rack_.opened(i), 0, 0};
            if (port.watchFd() >= 0) {
                entry.watch = fds.size();
                fds.push_back({port.watchFd(), POLLIN, 0});
            }
            if (port.held()) {
                entry.master = fds.size();
                fds.push_back({port.fd(), POLLIN, 0});
            }
            polled.push_back(entry);
        }
        if (poll(fds.data(), fds.size(), rack_.waitMs()) < 0) {
            if (errno == EINTR) continue;
            rack_.log().write(DeckRack::now(), 0, "error",
                              std::string("poll: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) return;
        if (control_.fd() >= 0 && (fds[1].revents & POLLIN))
            for (const std::string& line : control_.readLines()) rack_.controlLine(line);
        for (const Polled& entry : polled) {
            const std::size_t index = entry.index;
            // A port closed (or closed and opened again) by a control line above is not the
            // one polled.
            const auto same = [&] {
                return rack_.port(index).isOpen() && rack_.opened(index) == entry.opened;
            };
            if (!same()) continue;
            // The port first: news of a new controller must not be undone by the hang-up
            // the previous one left.
            if (entry.master != 0) servePort(index, fds[entry.master].revents);
            if (!same() || entry.watch == 0) continue;
            DeckPort& port = rack_.port(index);
            if ((fds[entry.watch].revents & POLLIN) && port.takeWatchNews())
                rack_.log().write(DeckRack::now(), static_cast<int>(index + 1), "held",
                                  port.describe());
        }
    }
}

void Emulator::servePort(std::size_t index, short revents) {
    if (revents & POLLIN) rack_.readPort(index);
    if (revents & (POLLERR | POLLNVAL))
        rack_.portFailed(index);
    else if (revents & POLLHUP)
        rack_.portHungUp(index);
}

}  // namespace korvel::sim::vtr
