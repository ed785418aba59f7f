#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/vtr/instant.h"

namespace korvel::sim::vtr {

// The emulator's log: one line per event, fields separated by single blanks,
//
//   <seconds>.<microseconds> <deck> <event> <detail>
//
// with the time on the monotonic clock, the deck numbered from 1 (0 for the emulator itself)
// and, for wire events, the bytes as two-digit lower-case hexadecimal.
std::string formatLogLine(Instant time, int deck, std::string_view event, std::string_view detail);
std::string hexBytes(std::span<const std::uint8_t> bytes);

// One line of the log read back (by the tools that follow it); none for a line cut short.
struct LogLine {
    Instant time{0};
    int deck = 0;
    std::string event;
    std::string detail;
};
std::optional<LogLine> parseLogLine(std::string_view line);

// The log's file: standard output for an empty path, else the file emptied (each run starts a
// log of its own); none, with the reason on standard error, when it cannot be opened.
std::FILE* openLogFile(const std::string& path);

class WireLog {
  public:
    explicit WireLog(std::FILE* out) : out_(out) {}
    void write(Instant time, int deck, std::string_view event, std::string_view detail);
    void bytes(Instant time, int deck, std::string_view event, std::span<const std::uint8_t> data) {
        write(time, deck, event, hexBytes(data));
    }

  private:
    std::FILE* out_;
};

}  // namespace korvel::sim::vtr
