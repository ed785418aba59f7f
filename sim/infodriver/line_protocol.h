#pragma once

// The infodriver emulator's line protocol: commands read from standard input, and the
// event lines it prints. Pure text handling, so it is tested natively.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::sim {

enum class CommandKind {
    None,           // an empty line or a comment
    Write,          // write <device> <slot> <text>: the control system writes a slot
    Read,           // read <device> <slot>
    Dump,           // dump <device>
    Disconnect,     // disconnect <device>: message 2175
    RequestRxOnly,  // rxonly <device>: message 2179
    RequestTxRx,    // txrx <device>: message 2180
    Inquire,        // inquire <device>: message 2181
    DeviceInUse,    // inuse <device> [code]: message 2190
    Hang,           // hang <device> <message> [ms]: the next such message hangs the emulator
    Ping,           // ping [token]: answered once everything before it is done
    Quit,           // quit
};

struct Command {
    CommandKind kind = CommandKind::None;
    std::uint32_t device = 0;
    std::uint32_t slot = 0;
    std::optional<std::uint32_t> code;  // inuse: the wParam; the device number when absent
    std::uint32_t message = 0;          // hang: the message that hangs
    std::uint32_t milliseconds = 0;     // hang: how long
    std::string text;                   // write: the slot text; ping: the token
};

struct ParsedCommand {
    Command command;
    std::string error;  // empty when the line was understood
    bool ok() const { return error.empty(); }
};

ParsedCommand parseCommand(std::string_view line);

// How long a hang lasts when the command does not say.
inline constexpr std::uint32_t kDefaultHangMs = 30000;

// The message a request command sends to the client's window, or 0 for other commands.
std::uint32_t messageOf(CommandKind kind);

// Slot texts cross the protocol escaped, so that one line holds any text: backslash,
// \n, \r, \t, and \xHH for every other byte below 0x20 or from 0x7F up.
std::string escapeText(std::string_view text);
// Undoes escapeText; nullopt for a bad escape or a NUL, which no slot text can hold.
std::optional<std::string> unescapeText(std::string_view text);

// The served devices from the command line: numbers ("101") and ranges ("101-109"), in
// order and without repeats. Two devices that agree in their low 16 bits are refused: the
// connect broadcast carries only those bits, so both would answer it.
inline constexpr std::size_t kMaxServedDevices = 256;
std::optional<std::vector<std::uint32_t>> parseDeviceArguments(
    const std::vector<std::string>& arguments, std::string& error);

// A precise event time, "<seconds>.<microseconds>" (six digits, cut, not rounded), from a
// counter of `ticks` at `frequency` per second; "0.000000" for a frequency of 0.
std::string formatPreciseTime(std::uint64_t ticks, std::uint64_t frequency);

// One printed line: "<time> <event> key=value ... [text=<escaped text>]", the time either
// milliseconds since the start or a precise time (formatPreciseTime). The text, when
// present, is last and runs to the end of the line.
class EventLine {
  public:
    EventLine(std::uint64_t milliseconds, std::string_view event);
    EventLine(std::string_view preciseTime, std::string_view event);
    EventLine& add(std::string_view key, std::uint64_t value);
    EventLine& add(std::string_view key, std::string_view word);  // a word without spaces
    EventLine& addHex(std::string_view key, std::uint64_t value);
    EventLine& text(std::string_view text);
    const std::string& str() const { return line_; }

  private:
    std::string line_;
    bool hasText_ = false;
};

// A printed line read back (by tests and scripts).
struct EventRecord {
    std::uint64_t milliseconds = 0;
    std::uint64_t microseconds = 0;  // the same time; exact for a precise time
    std::string event;
    std::map<std::string, std::string> fields;
    std::optional<std::string> text;  // unescaped

    // The field's value, or "" when it is absent.
    std::string field(const std::string& key) const;
};

std::optional<EventRecord> parseEventLine(std::string_view line);

}  // namespace korvel::sim
