#pragma once

#include <cstdint>

#include "comms/comms.h"

namespace korvel::comms {

// DTR and RTS held on, never used for handshaking: the values of the Win32 DTR_CONTROL_ENABLE
// and RTS_CONTROL_ENABLE.
inline constexpr unsigned kDtrControlEnable = 1;
inline constexpr unsigned kRtsControlEnable = 1;

// The line settings of a port opened for 9-pin traffic, written into the device-control block
// that the port reported (a Win32 DCB, or anything with its field names). A port keeps the
// state the last program left on it, and 9-pin frames are binary over RS-422 lines whose
// handshake wires are mostly not connected: XON/XOFF would eat 11h and 13h (NAKs, timecodes,
// checksums) and stall writes, CTS/DSR flow or DSR sensitivity would wait for lines that never
// rise, null stripping and error characters would change bytes, and abort-on-error would fail
// every call after a line glitch until the error is cleared. Those are set here whatever was
// left; the special characters and buffer limits are kept, since nothing here uses them.
template <typename Dcb>
void setNinePinLine(Dcb& dcb, int speed, int dataBits, int stopBits, int parity) {
    dcb.BaudRate = static_cast<std::uint32_t>(speed);
    dcb.ByteSize = static_cast<std::uint8_t>(dataBits);
    dcb.Parity = static_cast<std::uint8_t>(parity);
    dcb.StopBits = static_cast<std::uint8_t>(stopBits);
    dcb.fBinary = 1;
    dcb.fParity = parity != kParityNone ? 1 : 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = kDtrControlEnable;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = kRtsControlEnable;
    dcb.fAbortOnError = 0;
}

}  // namespace korvel::comms
