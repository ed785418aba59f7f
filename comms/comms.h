#pragma once

// The driver's own serial library: up to 256 ports, each known by its port index (the port
// number minus one). Each open port has a reader thread that fills the port's receive ring
// and tells the port's owner that bytes wait. The same calls serve the Win32 and the POSIX
// back-end; only the notification target and the status record differ by platform.

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvel::comms {

class SerialPort;
class NotifyQueue;

#ifdef _WIN32
// Notifications are WM_COMMNOTIFY messages posted to a window (wParam 0, lParam the owner).
using NotifyWindow = HWND;
using CommStatus = COMSTAT;
using ErrorWord = DWORD;
#else
// Notifications are posted to an event queue that the main loop drains.
using NotifyWindow = NotifyQueue*;
// The fields of the Win32 status record that mean something on a POSIX terminal.
struct CommStatus {
    std::uint32_t cbInQue = 0;   // bytes waiting in the receive ring
    std::uint32_t cbOutQue = 0;  // bytes the driver has not yet sent
};
using ErrorWord = std::uint32_t;
#endif

// Called on the reader thread with the port's owner when bytes have arrived. It may read,
// write and purge the port; closing it from there is refused.
using NotifyCallback = void (*)(SerialPort* owner);

inline constexpr int kPortCount = 256;

// Results of commsOpen besides a port index.
inline constexpr int kCommsFailed = -1;
inline constexpr int kCommsAlreadyOpen = -2;

// Purge flags, the values of the Win32 PURGE_* constants on every platform.
inline constexpr int kPurgeTxAbort = 1;
inline constexpr int kPurgeRxAbort = 2;
inline constexpr int kPurgeTxClear = 4;
inline constexpr int kPurgeRxClear = 8;

// Line-setting codes of the Win32 device-control block.
inline constexpr int kParityNone = 0;
inline constexpr int kParityOdd = 1;
inline constexpr int kParityEven = 2;
inline constexpr int kParityMark = 3;
inline constexpr int kParitySpace = 4;
inline constexpr int kOneStopBit = 0;
inline constexpr int kOneAndHalfStopBits = 1;
inline constexpr int kTwoStopBits = 2;

// Opens the port whose number owner->getPortNumber() gives (1 to 256), applies the line
// settings and time-outs and starts its reader thread. Returns the port index, -1 when the
// number is out of range or the device cannot be opened or configured, -2 when the port is
// already open (in this process or another).
int commsOpen(SerialPort* owner, int speed, int dataBits, int stopBits, int parity);

// Stops the port's reader thread, closes the device and frees its ring; the port table goes
// when no port is left open. Index -1 only frees the table if no port is in use.
void commsClose(int portIndex);

// Bytes per read of the reader thread (0 to 256; larger sizes read 256 at a time) and the
// matching time-outs. A negative size instead removes the port's notification target.
// 1, or 0 for a bad index.
int commsSetReadParams(int portIndex, int readSize);

// Chooses how the owner hears of arriving bytes; both set the read size as above.
int commsSetNotifyWindow(int portIndex, NotifyWindow window, int readSize);
int commsSetNotifyCallback(int portIndex, NotifyCallback callback, int readSize);

// Hands the bytes to the port's writer thread and returns at once: the length when taken, -1
// when the port has gone (a write that failed or stuck marks it lost), its writer's queue is
// full, or the length is negative; 0 for a bad index. The writer waits at most about one and
// a half seconds for a write.
int commsWrite(int portIndex, const std::uint8_t* bytes, int length);

// Takes up to maximum bytes out of the port's receive ring; the number taken (0 when empty).
int commsRead(int portIndex, std::uint8_t* buffer, int maximum);

// Clears the device's error state into *errors and fills *status; the input-queue count is
// the receive ring's unread count (0xFFFFFFFF when the ring could not be counted).
void commsStatus(int portIndex, CommStatus* status, ErrorWord* errors);

// Purges the device (kPurge* flags) and gives the port a fresh, empty ring. Nonzero when the
// device purge succeeded, 0 on failure or a bad index.
int commsPurge(int portIndex, int flags);

// 1 when the port's device has gone since it was opened (the reader, a write or a status
// call found it gone); the port stays lost until it is closed. 0 otherwise or for a bad index.
int commsIsLost(int portIndex);

// The one-line text of the last open or close step ("Opening port 3\r\n", ...).
const char* commsLastStatus();

}  // namespace korvel::comms
