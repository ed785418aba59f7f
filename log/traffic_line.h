#pragma once

// The lines of serial traffic that the driver writes to its trace and its disk log, and that
// the traffic decoder reads back, formatted and parsed in this one place:
//
//   "TX: 20 01 21 "        a frame written to a machine (hex digits in lower case)
//   "Read[vt1] 10 01 11 "  bytes read from VT 1's port (hex digits in capitals)
//
// In the disk log every line follows the time stamp "dd/mm/yyyy hh:mm:ss ".

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "log/disk_log_platform.h"

namespace korvel::log {

using LogTime = DiskLogPlatform::LocalTime;

// Room for the line's prefix, whatever the VT number, with its terminator.
inline constexpr int kTrafficPrefixSize = 24;
// Room for the line of count bytes, with its terminator.
constexpr int trafficLineSize(int count) {
    return kTrafficPrefixSize + 3 * count;
}

// Write the line of count bytes into out, which has room for trafficLineSize(count)
// characters; the line's length.
int formatTransmitLine(char* out, const std::uint8_t* bytes, int count);
int formatReceiveLine(char* out, int vtNumber, const std::uint8_t* bytes, int count);

// Room for the time stamp, with its terminator.
inline constexpr std::size_t kLogStampSize = 21;
// Writes "dd/mm/yyyy hh:mm:ss " into out; its length.
int formatLogStamp(char* out, std::size_t size, const LogTime& time);

// Takes a time stamp's fields (two digits each, four for the year) from the front of text;
// false when text does not start with one. The values are not checked.
bool takeLogStamp(std::string_view& text, LogTime& time);

struct TrafficLine {
    bool received = false;  // a "Read" line; else a "TX" line
    int vtNumber = 0;       // of a "Read" line
    std::vector<std::uint8_t> bytes;
};

enum class TrafficParse {
    kNotTraffic,  // the text starts with neither "TX: " nor "Read[vt"
    kDamaged,     // it does, but what follows is cut short or not hex bytes
    kTraffic,
};
// Longest line taken, in bytes.
inline constexpr std::size_t kMaxTrafficLineBytes = 512;
// Appends the bytes of "xx xx xx" (blanks between and possibly after them, digits of either
// case) to bytes; false for anything else, a cut byte or an empty text included.
bool parseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes);
// Reads a traffic line. Hex digits of either case are taken, and a carriage return or blanks
// at the end.
TrafficParse parseTrafficLine(std::string_view text, TrafficLine& line);

}  // namespace korvel::log
