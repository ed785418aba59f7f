#pragma once

namespace korvel::comms {

class SerialPort;

// Whoever owns a port and wants to hear that bytes have arrived on it: a VT device.
class SerialListener {
  public:
    // Bytes wait in the port's receive ring; port is the address the port was registered
    // under.
    virtual void onSerialData(SerialPort* port) = 0;

  protected:
    ~SerialListener() = default;
};

}  // namespace korvel::comms
