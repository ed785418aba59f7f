#include "bench/system_figures.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>

#include "engine/slot_layout.h"
#include "sim/infodriver/line_protocol.h"

namespace korvel::bench {
namespace {

std::string_view nextWord(std::string_view& rest) {
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

template <typename Number>
std::optional<Number> number(std::string_view word) {
    Number value{};
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}

// The driver's own requests: every sense command (group 6).
bool isSenseRequest(std::string_view hexBytes) {
    return hexBytes.size() >= 2 && hexBytes[0] == '6';
}

constexpr const char* kStatusRequest = "61 20 05 86";

double millis(std::int64_t micros) {
    return static_cast<double>(micros) / 1000.0;
}

// The deck a device sits on, or 0 for a device outside the nine.
int deckOf(const SystemLogs& logs, std::uint32_t device) {
    if (device < logs.baseDevice || device - logs.baseDevice >= 9) return 0;
    return static_cast<int>(device - logs.baseDevice) + 1;
}

// The time of the control system's next write of slot 1 of the device after index i, or
// `until`.
std::int64_t nextCommandTime(const SystemLogs& logs, std::size_t i, std::int64_t until) {
    for (std::size_t j = i + 1; j < logs.slots.size(); ++j) {
        const SlotEvent& e = logs.slots[j];
        if (e.micros >= until) break;
        if (e.event == "change" && e.slot == engine::kCommandSlot &&
            e.device == logs.slots[i].device)
            return e.micros;
    }
    return until;
}

}  // namespace

std::optional<DeckEvent> parseDeckLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    std::string_view rest = line;
    const std::string_view time = nextWord(rest);
    const std::size_t point = time.find('.');
    if (point == std::string_view::npos || time.size() - point - 1 != 6) return std::nullopt;
    const auto seconds = number<std::int64_t>(time.substr(0, point));
    const auto micros = number<std::int64_t>(time.substr(point + 1));
    const auto deck = number<int>(nextWord(rest));
    const std::string_view event = nextWord(rest);
    if (!seconds || !micros || *micros < 0 || !deck || event.empty() ||
        *seconds > (INT64_MAX - *micros) / 1000000) {
        return std::nullopt;
    }
    DeckEvent result;
    result.micros = *seconds * 1000000 + *micros;
    result.deck = *deck;
    result.event = std::string(event);
    const std::size_t start = rest.find_first_not_of(' ');
    if (start != std::string_view::npos) result.detail = std::string(rest.substr(start));
    return result;
}

std::optional<SlotEvent> parseSlotLine(std::string_view line, std::int64_t offsetMicros) {
    const auto record = sim::parseEventLine(line);
    if (!record || (record->event != "change" && record->event != "write")) return std::nullopt;
    const auto device = number<std::uint32_t>(record->field("dev"));
    const auto slot = number<std::uint32_t>(record->field("slot"));
    if (!device || !slot || record->microseconds > static_cast<std::uint64_t>(INT64_MAX / 2)) {
        return std::nullopt;
    }
    SlotEvent result;
    result.micros = static_cast<std::int64_t>(record->microseconds) + offsetMicros;
    result.event = record->event;
    result.device = *device;
    result.slot = *slot;
    result.text = record->text.value_or("");
    return result;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    const std::size_t index =
        static_cast<std::size_t>(std::clamp(rank, 1.0, static_cast<double>(values.size()))) - 1;
    return values[index];
}

Samples commandToWire(const SystemLogs& logs, std::int64_t until) {
    Samples samples;
    for (std::size_t i = 0; i < logs.slots.size(); ++i) {
        const SlotEvent& command = logs.slots[i];
        if (command.micros >= until) break;
        const int deck = deckOf(logs, command.device);
        if (command.event != "change" || command.slot != engine::kCommandSlot || deck == 0)
            continue;
        const std::int64_t end = nextCommandTime(logs, i, until);
        const auto frame =
            std::find_if(logs.deck.begin(), logs.deck.end(), [&](const DeckEvent& e) {
                return e.deck == deck && e.event == "rx" && e.micros >= command.micros &&
                       e.micros < end && !isSenseRequest(e.detail);
            });
        if (frame == logs.deck.end()) {
            ++samples.missing;
        } else {
            samples.values.push_back(millis(frame->micros - command.micros));
        }
    }
    return samples;
}

Samples commandToState(const SystemLogs& logs, std::int64_t until) {
    Samples samples;
    for (std::size_t i = 0; i < logs.slots.size(); ++i) {
        const SlotEvent& command = logs.slots[i];
        if (command.micros >= until) break;
        if (command.event != "change" || command.slot != engine::kCommandSlot ||
            (command.text != "1" && command.text != "2")) {
            continue;
        }
        const std::int64_t end = nextCommandTime(logs, i, until);
        const auto state = std::find_if(logs.slots.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                        logs.slots.end(), [&](const SlotEvent& e) {
                                            return e.micros < end && e.event == "write" &&
                                                   e.device == command.device &&
                                                   e.slot == engine::kTransportStateSlot &&
                                                   e.text == command.text;
                                        });
        if (state == logs.slots.end() || state->micros >= end) {
            ++samples.missing;
        } else {
            samples.values.push_back(millis(state->micros - command.micros));
        }
    }
    return samples;
}

Samples pollRounds(const SystemLogs& logs, std::int64_t from, std::int64_t until) {
    Samples samples;
    std::map<int, std::int64_t> lastRequest;
    for (const DeckEvent& e : logs.deck) {
        if (e.micros < from || e.micros >= until || e.event != "rx" || e.detail != kStatusRequest) {
            continue;
        }
        const auto last = lastRequest.find(e.deck);
        if (last != lastRequest.end()) samples.values.push_back(millis(e.micros - last->second));
        lastRequest[e.deck] = e.micros;
    }
    return samples;
}

Samples silentToFailure(const SystemLogs& logs) {
    Samples samples;
    for (const DeckEvent& control : logs.deck) {
        if (control.event != "ctl") continue;
        std::string_view rest = control.detail;
        if (nextWord(rest) != "deck") continue;
        const std::string_view which = nextWord(rest);
        if (nextWord(rest) != "fault" || nextWord(rest) != "silent") continue;
        std::vector<int> decks;
        if (which == "all") {
            for (int deck = 1; deck <= 9; ++deck) decks.push_back(deck);
        } else if (const auto deck = number<int>(which); deck && *deck >= 1 && *deck <= 9) {
            decks.push_back(*deck);
        }
        for (int deck : decks) {
            const std::uint32_t device = logs.baseDevice + static_cast<std::uint32_t>(deck) - 1;
            const auto failure =
                std::find_if(logs.slots.begin(), logs.slots.end(), [&](const SlotEvent& e) {
                    return e.micros >= control.micros && e.event == "write" && e.device == device &&
                           e.slot == engine::kCommsStateSlot && e.text.starts_with("1,");
                });
            if (failure == logs.slots.end()) {
                ++samples.missing;
            } else {
                samples.values.push_back(millis(failure->micros - control.micros));
            }
        }
    }
    return samples;
}

std::int64_t firstFaultTime(const SystemLogs& logs) {
    for (const DeckEvent& e : logs.deck) {
        if (e.event == "ctl" && e.detail.find(" fault ") != std::string::npos) return e.micros;
    }
    return INT64_MAX;
}

std::int64_t lastCommandTime(const SystemLogs& logs) {
    for (auto e = logs.slots.rbegin(); e != logs.slots.rend(); ++e) {
        if (e->event == "change" && e->slot == engine::kCommandSlot) return e->micros;
    }
    return INT64_MIN;
}

std::string tableHeader() {
    char line[160];
    std::snprintf(line, sizeof line, "%-38s %5s %4s %9s %9s %9s %9s", "figure (ms)", "n", "miss",
                  "median", "p99", "min", "max");
    return line;
}

std::string tableRow(std::string_view label, const Samples& samples) {
    const auto& v = samples.values;
    const double low = v.empty() ? 0 : *std::min_element(v.begin(), v.end());
    const double high = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
    char line[200];
    std::snprintf(line, sizeof line, "%-38.*s %5zu %4d %9.3f %9.3f %9.3f %9.3f",
                  static_cast<int>(std::min<std::size_t>(label.size(), 38)), label.data(), v.size(),
                  samples.missing, percentile(v, 50), percentile(v, 99), low, high);
    return line;
}

}  // namespace korvel::bench
