#pragma once

#include <string>

#include "comms/serial_port.h"
#include "sim/vtr/deck_port.h"
#include "sim/vtr/options.h"

namespace korvel::sim::vtr {

// A deck on a COM port, through the driver's own serial library: its reader thread fills the
// port's ring and calls `onBytes`, and reads take from the ring without waiting. A port that
// cannot be opened (missing, or held by another program) is tried again later.
class ComDeckPort : public DeckPort {
  public:
    // name: "COM1" to "COM256" (any case); anything else never opens.
    ComDeckPort(std::string name, const LineSettings& line, comms::NotifyCallback onBytes);
    ~ComDeckPort() override { close(); }

    bool open(std::string& error) override;
    void close() override;
    bool isOpen() const override { return serial_.isOpen(); }
    int read(std::uint8_t* buffer, int size) override;
    int write(const std::uint8_t* bytes, int length, std::string& error) override;
    std::string describe() const override;
    const std::string& name() const override { return name_; }
    bool hangUp(std::string&) override { return true; }
    bool retriesOpen() const override { return true; }
    // The device has gone: the serial library's reader or a write found it so, or a status
    // call does now (a reader may wait on a vanished device without hearing of it).
    bool gone() const override;

    // The port number of "COMn", or 0.
    static int portNumberOf(const std::string& name);

  private:
    std::string name_;
    LineSettings line_;
    comms::NotifyCallback onBytes_;
    comms::SerialPort serial_;
};

}  // namespace korvel::sim::vtr
