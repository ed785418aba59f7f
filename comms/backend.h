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

// Makes the reader thread end and waits until it has (keepReading already cleared).
void stopReader(Device& device);

int write(Device& device, const std::uint8_t* bytes, int length);

bool purge(Device& device, int flags);

void clearError(Device& device, CommStatus* status, ErrorWord* errors);

// Posts the notification of a port to its window; called with the record's lock held.
void postNotification(NotifyWindow window, SerialPort* owner);

bool isLiveWindow(NotifyWindow window);

}  // namespace korvel::comms::backend
