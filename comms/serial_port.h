#pragma once

#include <cstdint>

#include "comms/comms.h"

namespace korvel::comms {

// One serial port as a VT device sees it. Its address is the port's identity everywhere
// else: the owner in the port table, the argument of every notification and the key of the
// serial registry; so it is neither copied nor moved.
class SerialPort {
  public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Each stores its value; on an open port it then re-opens the port with all four
    // settings (which leaves it with no notification target and read size 0).
    void setSpeed(int speed);
    void setDataBits(int dataBits);
    void setParity(int parity);
    void setStopBits(int stopBits);

    int getPortNumber() const { return portNumber_; }

    // Closes whatever port is open, then opens portNumber. 1, or the library's -1 / -2.
    int open(int portNumber);
    void close();

    // The library's result; the negative port index (-1 or -2) when not open.
    int write(const std::uint8_t* bytes, int length);
    int read(std::uint8_t* buffer, int maximum);
    // 1 when the port is open and the window is live, else 0.
    int setNotifyWindow(NotifyWindow window, int readSize);
    void status(CommStatus* status, ErrorWord* errors);
    int purge(int flags);

    // True when the open port's device has gone; closing (or opening again) clears it.
    bool isLost() const { return commsIsLost(portIndex_) != 0; }
    int portIndex() const { return portIndex_; }
    bool isOpen() const { return isOpen_ != 0; }
    int speed() const { return speed_; }
    int dataBits() const { return dataBits_; }
    int parity() const { return parity_; }
    int stopBits() const { return stopBits_; }

  private:
    void reopenIfOpen();

    int portIndex_ = -1;  // after a failed open: the library's negative result
    int portNumber_ = 0;
    int speed_ = 9600;
    int dataBits_ = 8;
    int parity_ = kParityNone;
    int stopBits_ = kOneStopBit;
    int isOpen_ = 0;
};

}  // namespace korvel::comms
