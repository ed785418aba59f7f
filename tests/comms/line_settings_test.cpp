#include "comms/line_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvel::comms {
namespace {

#ifdef _WIN32
using Dcb = DCB;
#else
// The Win32 device-control block, field for field.
struct Dcb {
    std::uint32_t DCBlength;
    std::uint32_t BaudRate;
    std::uint32_t fBinary : 1;
    std::uint32_t fParity : 1;
    std::uint32_t fOutxCtsFlow : 1;
    std::uint32_t fOutxDsrFlow : 1;
    std::uint32_t fDtrControl : 2;
    std::uint32_t fDsrSensitivity : 1;
    std::uint32_t fTXContinueOnXoff : 1;
    std::uint32_t fOutX : 1;
    std::uint32_t fInX : 1;
    std::uint32_t fErrorChar : 1;
    std::uint32_t fNull : 1;
    std::uint32_t fRtsControl : 2;
    std::uint32_t fAbortOnError : 1;
    std::uint32_t fDummy2 : 17;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};
#endif

// Whatever state a port was left in, it comes out set for 9-pin traffic, with the fields that
// do not matter to it as they were.
TEST(LineSettingsTest, AnyStateLeftOnAPortComesOutSetForNinePinTraffic) {
    std::mt19937 random(20);
    const int speeds[] = {9600, 19200, 38400, 115200};
    for (int round = 0; round < 2000; ++round) {
        Dcb left;
        auto* raw = reinterpret_cast<unsigned char*>(&left);
        for (std::size_t i = 0; i < sizeof left; ++i) raw[i] = static_cast<unsigned char>(random());
        const int speed = speeds[random() % 4];
        const int dataBits = 5 + static_cast<int>(random() % 4);
        const int stopBits = static_cast<int>(random() % 3);
        const int parity = static_cast<int>(random() % 5);

        Dcb set = left;
        setNinePinLine(set, speed, dataBits, stopBits, parity);
        SCOPED_TRACE(round);
        EXPECT_EQ(set.BaudRate, static_cast<std::uint32_t>(speed));
        EXPECT_EQ(set.ByteSize, dataBits);
        EXPECT_EQ(set.StopBits, stopBits);
        EXPECT_EQ(set.Parity, parity);
        EXPECT_EQ(set.fParity, parity != kParityNone ? 1u : 0u);
        EXPECT_EQ(set.fBinary, 1u);
        EXPECT_EQ(set.fOutX | set.fInX, 0u);
        EXPECT_EQ(set.fOutxCtsFlow | set.fOutxDsrFlow | set.fDsrSensitivity, 0u);
        EXPECT_EQ(set.fDtrControl, 1u);  // on, not handshake
        EXPECT_EQ(set.fRtsControl, 1u);
        EXPECT_EQ(set.fNull | set.fErrorChar | set.fAbortOnError, 0u);

        EXPECT_EQ(set.DCBlength, left.DCBlength);
        EXPECT_EQ(set.fTXContinueOnXoff, left.fTXContinueOnXoff);
        EXPECT_EQ(set.fDummy2, left.fDummy2);
        EXPECT_EQ(set.XonLim, left.XonLim);
        EXPECT_EQ(set.XoffLim, left.XoffLim);
        EXPECT_EQ(std::memcmp(&set.XonChar, &left.XonChar, 5), 0);
    }
}

}  // namespace
}  // namespace korvel::comms
