#pragma once

#include <cstdint>

// The numbers the driver and an infodriver exchange: window messages, the client's status
// values and the interface modes.
namespace korvel::infodriver {

// The interface header version this client is built against.
inline constexpr int kInterfaceHeaderVersion = 109;

// Messages. "In" ones reach the client's hidden window; "out" ones the client sends.
inline constexpr std::uint32_t IFMSG_CLIENTREADY = 2031;   // out, broadcast
inline constexpr std::uint32_t IFMSG_READYACK = 2032;      // in
inline constexpr std::uint32_t IFMSG_LIBRARYDATA = 2074;   // in, answered by ordinal 1
inline constexpr std::uint32_t IFMSG_DISCONNECTED = 2175;  // in
inline constexpr std::uint32_t XJQ_REQDEVGORXONLY = 2179;  // in
inline constexpr std::uint32_t XJQ_REQDEVGOTXRX = 2180;    // in
inline constexpr std::uint32_t XJQ_INQDEVGOTXRX = 2181;    // in
inline constexpr std::uint32_t IFMSG_DEVICEINUSE = 2190;   // in
inline constexpr std::uint32_t IFMSG_CLIENTGONE = 2725;    // out, to the peer
inline constexpr std::uint32_t IFMSG_SLOTWRITE = 2726;     // out, through ordinal 2
inline constexpr std::uint32_t IFMSG_SLOTREAD = 2727;      // out, through ordinal 2
inline constexpr std::uint32_t IFMSG_SLOTCHANGED = 2728;   // in
inline constexpr std::uint32_t IFMSG_PEERWINDOW = 2729;    // in
inline constexpr std::uint32_t IFMSG_PEERTEXT = 2730;      // in
inline constexpr std::uint32_t IFMSG_SLOTWRITEALT = 2731;  // out, through ordinal 2
inline constexpr std::uint32_t IFMSG_CONNECTEXT = 3124;    // out, to the peer
inline constexpr std::uint32_t IFMSG_CONNECTDONE = 49153;  // out, broadcast
inline constexpr std::uint32_t IFMSG_CONNECTREQ = 49154;   // out, broadcast

// A client's status; 4, 5, 9 and 15 are also the results of connect.
inline constexpr std::int32_t kStatusNotConnected = 3;  // constructed, or disconnected
inline constexpr std::int32_t kStatusNoDevice = 4;      // connect was given device 0
inline constexpr std::int32_t kStatusNoWindow = 5;      // nobody answered, or refused
inline constexpr std::int32_t kStatusTxRx = 6;
inline constexpr std::int32_t kStatusRxOnly = 7;
inline constexpr std::int32_t kStatusInquiryAnswered = 8;
inline constexpr std::int32_t kStatusNoClass = 9;  // the window class was refused
inline constexpr std::int32_t kStatusConnected = 15;
inline constexpr std::int32_t kStatusDeviceInUse = 2190;

// Interface modes. 6 and 7 are valid but have no name.
inline constexpr std::int32_t IFMODE_NONE = 0;
inline constexpr std::int32_t IFMODE_RXONLY = 1;
inline constexpr std::int32_t IFMODE_TXRX = 2;
inline constexpr std::int32_t IFMODE_FORCETXRX = 3;
inline constexpr std::int32_t IFMODE_TXRXINQ = 4;
inline constexpr std::int32_t IFMODE_RXONLYBROKEN = 5;

// Slot texts: a write is formatted into this many bytes, a read fetches at most this many
// (terminators included), and a peer text keeps this many (terminator included).
inline constexpr int kSlotWriteBytes = 512;
inline constexpr int kSlotReadBytes = 256;
inline constexpr int kPeerTextBytes = 300;

}  // namespace korvel::infodriver
