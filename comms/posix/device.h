#pragma once

#include <string>
#include <thread>

#include "comms/port_table.h"

namespace korvel::comms {

// An open terminal device and its reader thread. Closing writes a byte into the wake pipe,
// which ends the reader's poll() at once.
struct Device {
    ~Device();

    int fd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread reader;
};

// The device of a port number: $KORVEL_SERIAL_DIR/comN when that variable is set (a folder of
// links to terminals or pty slaves), else /dev/ttyS(N-1).
std::string devicePath(int portNumber);

}  // namespace korvel::comms
