#pragma once

// Figures of the whole system from two logs: the deck emulator's (wire events on the host's
// monotonic clock) and the infodriver emulator's (slot events with precise times, shifted onto
// the deck clock by a measured offset). Pure functions over parsed events, so they are tested
// without the system.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::bench {

// One line of the deck emulator's log: "<seconds>.<micros> <deck> <event> <detail>".
struct DeckEvent {
    std::int64_t micros = 0;
    int deck = 0;
    std::string event;
    std::string detail;
};
std::optional<DeckEvent> parseDeckLine(std::string_view line);

// A slot event of the infodriver emulator that the figures use: "change" (the control system
// wrote a slot) or "write" (the driver wrote one). Time on the deck clock.
struct SlotEvent {
    std::int64_t micros = 0;
    std::string event;
    std::uint32_t device = 0;
    std::uint32_t slot = 0;
    std::string text;
};
// Reads one line of the infodriver emulator's output and moves its time by offsetMicros;
// nullopt for other events and for lines that are not events.
std::optional<SlotEvent> parseSlotLine(std::string_view line, std::int64_t offsetMicros);

// Samples in milliseconds and how many expected results never came.
struct Samples {
    std::vector<double> values;
    int missing = 0;
};

// Nearest-rank percentile (0 < p <= 100) of the values; 0 for none.
double percentile(std::vector<double> values, double p);

struct SystemLogs {
    std::vector<DeckEvent> deck;
    std::vector<SlotEvent> slots;
    std::uint32_t baseDevice = 0;  // VT n is served by baseDevice + n - 1 and sits on deck n
};

// The control system's write of slot 1 to the first frame the VT's deck receives after it that
// is not a sense request (the driver's own polls); one sample per write of slot 1 before
// `until` (a micros time; the fault phase begins there).
Samples commandToWire(const SystemLogs& logs, std::int64_t until);

// A write of "1" (stop) or "2" (play) into slot 1 to the driver's write of that state into
// slot 2 of the same device, before the next write of slot 1 there.
Samples commandToState(const SystemLogs& logs, std::int64_t until);

// Intervals between a deck's status requests ("61 20 05 86") from `from` to `until`, every
// deck together.
Samples pollRounds(const SystemLogs& logs, std::int64_t from, std::int64_t until);

// Each deck made silent (control line "deck N fault silent" or "deck all fault silent") to
// the driver's first write of "1,..." into slot 3 of its device after it.
Samples silentToFailure(const SystemLogs& logs);

// The time of the first control line that sets a fault; INT64_MAX when there is none.
std::int64_t firstFaultTime(const SystemLogs& logs);
// The time of the last write of slot 1 by the control system; INT64_MIN when there is none.
std::int64_t lastCommandTime(const SystemLogs& logs);

// One row of the figures table: label, count, missing, median, p99, min, max.
std::string tableHeader();
std::string tableRow(std::string_view label, const Samples& samples);

}  // namespace korvel::bench
