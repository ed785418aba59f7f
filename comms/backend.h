#pragma once

// What each platform's back-end (win32/, posix/) provides to the shared library code.

#include <cstdint>

#include "comms/port_table.h"

namespace korvel::comms::backend {

enum class OpenResult { opened, notFound, alreadyOpen };

// Opens the device of a port number for exclusive use; sets device on success.
OpenResult openDevice(int portNumber, DevicePtr& device);

// Applies speed, byte size, stop bits and parity, and puts every other setting that could
// change or hold back 9-pin bytes to what 9-pin traffic needs, whatever the port was left with.
bool applyLineSettings(Device& device, int speed, int dataBits, int stopBits, int parity);

bool applyTimeouts(Device& device, const Timeouts& timeouts);

// Starts the port's reader thread for the record's generation (keepReading already set) and
// waits until it runs.
bool startReader(Device& device, PortRecord& record, int portIndex);

// True on the port's own reader thread (where a callback runs).
bool isReaderThread(const Device& device);

// Makes the reader thread end and waits a bounded time until it has (keepReading already
// cleared, the generation moved on), aborting its pending read. False when the thread still
// runs: a serial driver that ignores cancellation.
bool stopReader(Device& device);

// Closes the device of a reader (or writer) that did not end, so its pending read fails, and
// leaves the threads its memory: the struct is kept until freeAbandoned, so no thread touches
// freed memory.
void abandon(Device* device);
// True once the reader thread of an abandoned device has ended after all.
bool abandonedReaderEnded(Device& device);
// Frees an abandoned device whose threads have all ended.
void freeAbandoned(Device* device);

// Bytes written, or -1 on an error; called on the port's writer thread. Waits at most the
// port's write time-out and a margin; a write still pending then is cancelled and counts as a
// device gone. gone is set when the
// failure shows that the device has gone, not for a line error.
int write(Device& device, const std::uint8_t* bytes, int length, bool& gone);

bool purge(Device& device, int flags);

// False when the device refused the call (its status is then all zero); gone is then set when
// that shows the device has gone.
bool clearError(Device& device, CommStatus* status, ErrorWord* errors, bool& gone);

// Posts the notification of a port to its window; called with the record's lock held.
void postNotification(NotifyWindow window, SerialPort* owner);

bool isLiveWindow(NotifyWindow window);

}  // namespace korvel::comms::backend
