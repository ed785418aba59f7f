#pragma once

#include <windows.h>

#include <atomic>

#include "comms/port_table.h"

namespace korvel::comms {

// An open COM device (overlapped I/O) and its reader thread.
struct Device {
    ~Device();

    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    HANDLE startSemaphore = nullptr;
    COMMPROP properties{};   // read once the reader runs; kept for inspection
    Timeouts writeTimeouts;  // as last applied: they bound a write
    // Error bits the reader cleared while it looked how many bytes wait; the owner's next
    // status call reports them, as if it had cleared them itself.
    std::atomic<DWORD> heldErrors{0};
    // Set when close gave up waiting for the reader: the thread, should it ever come back,
    // then touches nothing but this struct, which is never freed.
    std::atomic<bool> abandoned{false};
};

}  // namespace korvel::comms
