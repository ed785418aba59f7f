#pragma once

// What each platform's back-end (win32/, posix/) provides to the shared library code.

#include <cstdint>

#include "comms/port_table.h"

namespace korvel::comms::backend {

enum class OpenResult { opened, notFound, alreadyOpen };

// Opens the device of a port number for exclusive use; sets device on success.
OpenResult openDevice(int portNumber, DevicePtr& device);

// The handle value the ring's guard is named after.
std::uintptr_t handleValue(const Device& device);

// Applies speed, byte size, stop bits and parity, keeping the device's other settings.
bool applyLineSettings(Device& device, int speed, int dataBits, int stopBits, int parity);

bool applyTimeouts(Device& device, const Timeouts& timeouts);

// Starts the port's reader thread (keepReading already set) and waits until it runs.
bool startReader(Device& device, PortRecord& record, int portIndex);

// True on the port's own reader thread (where a callback runs).
bool isReaderThread(const Device& device);

// Makes the reader thread end and waits a bounded time until it has (keepReading already
// cleared). False when the thread still runs: a serial driver that ignores cancellation.
bool stopReader(Device& device);

// Closes the device of a reader that did not end, so its pending read fails, and leaves the
// thread its memory: the struct is never freed, so the thread cannot touch freed memory.
void abandon(Device* device);

int write(Device& device, const std::uint8_t* bytes, int length);

bool purge(Device& device, int flags);

// False when the device refused the call (its status is then all zero).
bool clearError(Device& device, CommStatus* status, ErrorWord* errors);

// True when the device no longer answers at all: its line settings cannot even be read, as
// after an adapter is pulled or a pseudo-terminal's other side has gone. Not for a line
// error, which a good device reports too.
bool deviceGone(Device& device);

// Posts the notification of a port to its window; called with the record's lock held.
void postNotification(NotifyWindow window, SerialPort* owner);

bool isLiveWindow(NotifyWindow window);

}  // namespace korvel::comms::backend
