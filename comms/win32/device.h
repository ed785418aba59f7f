#pragma once

#include <windows.h>

#include "comms/port_table.h"

namespace korvel::comms {

// An open COM device (overlapped I/O) and its reader thread.
struct Device {
    ~Device();

    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    HANDLE startSemaphore = nullptr;
    COMMPROP properties{};  // read once the reader runs; kept for inspection
};

}  // namespace korvel::comms
