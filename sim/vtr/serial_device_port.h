#pragma once

#include <string>

#include "sim/vtr/options.h"
#include "sim/vtr/posix_deck_port.h"

namespace korvel::sim::vtr {

// A deck on an existing serial device (an RS-422 adapter, a built-in port, or a pty's slave
// side standing in for one), in raw mode with the given line settings. A device that goes
// away (an adapter pulled out) reports an error or hang-up; the port is then closed and the
// emulator opens it again when it can.
class SerialDevicePort : public PosixDeckPort {
  public:
    SerialDevicePort(std::string path, const LineSettings& line)
        : path_(std::move(path)), line_(line) {}
    ~SerialDevicePort() override { close(); }
    SerialDevicePort(const SerialDevicePort&) = delete;
    SerialDevicePort& operator=(const SerialDevicePort&) = delete;

    bool open(std::string& error) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    int fd() const override { return fd_; }
    std::string describe() const override;
    const std::string& name() const override { return path_; }
    bool hangUp(std::string& error) override;
    bool retriesOpen() const override { return true; }

  private:
    std::string path_;
    LineSettings line_;
    int fd_ = -1;
};

}  // namespace korvel::sim::vtr
