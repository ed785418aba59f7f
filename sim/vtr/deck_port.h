#pragma once

#include <string>

namespace korvel::sim::vtr {

// A deck's end of a serial line, as the emulator's loop sees it: a pseudo-terminal behind a
// link (PtyPort) or an existing serial device (SerialDevicePort). Non-blocking descriptors,
// polled by the loop.
class DeckPort {
  public:
    virtual ~DeckPort() = default;

    // On failure `error` says why and nothing is left open.
    virtual bool open(std::string& error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual int fd() const = 0;
    // What the log calls the port when it opens: its path and anything else worth knowing.
    virtual std::string describe() const = 0;
    virtual const std::string& name() const = 0;

    // A descriptor that becomes readable when a controller opens the line; -1 for none.
    virtual int watchFd() const { return -1; }
    // Reads the watch's news: true when a controller came while none was known.
    virtual bool takeWatchNews() { return false; }
    // A controller may be on the line: the descriptor is worth polling.
    virtual bool held() const { return true; }
    // The line reported hang-up. True when the port stays usable; false (with `error` set)
    // when it has to be opened again.
    virtual bool hangUp(std::string& error) = 0;
    // A port that failed to open is tried again later (a device may be plugged in); else the
    // failure ends the emulator's start.
    virtual bool retriesOpen() const { return false; }
};

}  // namespace korvel::sim::vtr
