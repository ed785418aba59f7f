#pragma once

#include <cstdint>
#include <string>

namespace korvel::sim::vtr {

// A deck's end of a serial line, as the emulator sees it: a pseudo-terminal behind a link
// (PtyPort) or an existing serial device (SerialDevicePort) on Linux, where the loop polls
// their non-blocking descriptors; a COM port through the driver's serial library on Windows
// (ComDeckPort). Reads never wait.
class DeckPort {
  public:
    virtual ~DeckPort() = default;

    // On failure `error` says why and nothing is left open.
    virtual bool open(std::string& error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The bytes waiting (0 when none), or -1 when the port cannot be read.
    virtual int read(std::uint8_t* buffer, int size) = 0;
    // The bytes written, or -1 with `error` set.
    virtual int write(const std::uint8_t* bytes, int length, std::string& error) = 0;
    // The descriptor a poll() loop waits on; -1 where there is none (Windows).
    virtual int fd() const { return -1; }
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
    // The port's device went away while open (an adapter pulled), where the port learns that
    // other than through a descriptor's hang-up; it is then opened again like a failed one.
    virtual bool gone() const { return false; }
    // A port that failed to open is tried again later (a device may be plugged in); else the
    // failure ends the emulator's start.
    virtual bool retriesOpen() const { return false; }
};

}  // namespace korvel::sim::vtr
