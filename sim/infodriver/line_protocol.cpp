#include "sim/infodriver/line_protocol.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>

#include "infodriver/infodriver_messages.h"
#include "sim/common/text_escape.h"

namespace korvel::sim {
namespace {

std::optional<std::uint32_t> parseNumber(std::string_view word) {
    if (word.empty() || word.front() < '0' || word.front() > '9') return std::nullopt;
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

// Splits off the next word; the rest starts after the single space that ends it.
std::string_view nextWord(std::string_view& rest) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    std::string_view word = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return word;
}

bool isBlank(std::string_view rest) {
    return std::all_of(rest.begin(), rest.end(), [](char c) { return c == ' '; });
}

struct Verb {
    std::string_view name;
    CommandKind kind;
};

constexpr Verb kVerbs[] = {
    {"write", CommandKind::Write},
    {"read", CommandKind::Read},
    {"dump", CommandKind::Dump},
    {"disconnect", CommandKind::Disconnect},
    {"rxonly", CommandKind::RequestRxOnly},
    {"txrx", CommandKind::RequestTxRx},
    {"inquire", CommandKind::Inquire},
    {"inuse", CommandKind::DeviceInUse},
    {"hang", CommandKind::Hang},
    {"ping", CommandKind::Ping},
    {"quit", CommandKind::Quit},
};

ParsedCommand failure(std::string error) {
    ParsedCommand parsed;
    parsed.error = std::move(error);
    return parsed;
}

}  // namespace

ParsedCommand parseCommand(std::string_view line) {
    std::string_view rest = line;
    const std::string_view verb = nextWord(rest);
    ParsedCommand parsed;
    if (verb.empty() || verb.front() == '#') return parsed;
    if (line.find('\0') != std::string_view::npos) return failure("line holds a NUL byte");

    const auto found = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                    [&](const Verb& v) { return v.name == verb; });
    if (found == std::end(kVerbs)) return failure("unknown command \"" + std::string(verb) + "\"");
    Command& command = parsed.command;
    command.kind = found->kind;

    if (command.kind == CommandKind::Quit) {
        return isBlank(rest) ? parsed : failure("quit takes no arguments");
    }
    if (command.kind == CommandKind::Ping) {
        command.text = std::string(rest);
        return parsed;
    }

    const auto device = parseNumber(nextWord(rest));
    if (!device || *device == 0) return failure(std::string(verb) + ": bad device number");
    command.device = *device;

    if (command.kind == CommandKind::Write || command.kind == CommandKind::Read) {
        const auto slot = parseNumber(nextWord(rest));
        if (!slot) return failure(std::string(verb) + ": bad slot index");
        command.slot = *slot;
        if (command.kind == CommandKind::Write) {
            auto text = unescapeText(rest);
            if (!text) return failure("write: bad escape in text");
            command.text = std::move(*text);
            return parsed;
        }
    } else if (command.kind == CommandKind::Hang) {
        const auto message = parseNumber(nextWord(rest));
        if (!message || *message == 0) return failure("hang: bad message number");
        command.message = *message;
        const std::string_view milliseconds = nextWord(rest);
        const auto hangMs = milliseconds.empty() ? std::optional(kDefaultHangMs)
                                                 : parseNumber(milliseconds);
        if (!hangMs) return failure("hang: bad time");
        command.milliseconds = *hangMs;
    } else if (command.kind == CommandKind::DeviceInUse) {
        const std::string_view code = nextWord(rest);
        if (!code.empty()) {
            command.code = parseNumber(code);
            if (!command.code) return failure("inuse: bad code");
        }
    }
    return isBlank(rest) ? parsed : failure(std::string(verb) + ": too many arguments");
}

std::uint32_t messageOf(CommandKind kind) {
    switch (kind) {
        case CommandKind::Disconnect:
            return infodriver::IFMSG_DISCONNECTED;
        case CommandKind::RequestRxOnly:
            return infodriver::XJQ_REQDEVGORXONLY;
        case CommandKind::RequestTxRx:
            return infodriver::XJQ_REQDEVGOTXRX;
        case CommandKind::Inquire:
            return infodriver::XJQ_INQDEVGOTXRX;
        case CommandKind::DeviceInUse:
            return infodriver::IFMSG_DEVICEINUSE;
        default:
            return 0;
    }
}

std::string escapeText(std::string_view text) {
    return escapeLine(text, true);
}

std::optional<std::string> unescapeText(std::string_view text) {
    return unescapeLine(text, false);
}

std::optional<std::vector<std::uint32_t>> parseDeviceArguments(
    const std::vector<std::string>& arguments, std::string& error) {
    std::vector<std::uint32_t> devices;
    std::set<std::uint32_t> seen;
    std::map<std::uint32_t, std::uint32_t> byLowBits;
    for (const std::string& argument : arguments) {
        const std::size_t dash = argument.find('-');
        const auto first = parseNumber(std::string_view(argument).substr(0, dash));
        const auto last = dash == std::string::npos
                              ? first
                              : parseNumber(std::string_view(argument).substr(dash + 1));
        if (!first || !last || *first == 0 || *last < *first) {
            error = "bad device number or range \"" + argument + "\"";
            return std::nullopt;
        }
        if (*last - *first >= kMaxServedDevices) {
            error = "too many devices (at most " + std::to_string(kMaxServedDevices) + ")";
            return std::nullopt;
        }
        for (std::uint32_t device = *first;; ++device) {
            if (seen.insert(device).second) {
                auto [it, fresh] = byLowBits.emplace(device & 0xFFFFu, device);
                if (!fresh) {
                    error = "devices " + std::to_string(it->second) + " and " +
                            std::to_string(device) + " share their low 16 bits";
                    return std::nullopt;
                }
                devices.push_back(device);
                if (devices.size() > kMaxServedDevices) {
                    error = "too many devices (at most " + std::to_string(kMaxServedDevices) + ")";
                    return std::nullopt;
                }
            }
            if (device == *last) break;
        }
    }
    if (devices.empty()) {
        error = "no device numbers given";
        return std::nullopt;
    }
    return devices;
}

std::string formatPreciseTime(std::uint64_t ticks, std::uint64_t frequency) {
    if (frequency == 0) return "0.000000";
    // The remainder is below the frequency, so its product with a million cannot overflow
    // for any counter frequency up to 18 THz.
    const std::uint64_t micros = ticks % frequency * 1000000u / frequency;
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%06llu",
                  static_cast<unsigned long long>(ticks / frequency),
                  static_cast<unsigned long long>(micros));
    return text;
}

EventLine::EventLine(std::uint64_t milliseconds, std::string_view event)
    : line_(std::to_string(milliseconds) + " " + std::string(event)) {}

EventLine::EventLine(std::string_view preciseTime, std::string_view event)
    : line_(std::string(preciseTime) + " " + std::string(event)) {}

EventLine& EventLine::add(std::string_view key, std::uint64_t value) {
    return add(key, std::string_view(std::to_string(value)));
}

EventLine& EventLine::add(std::string_view key, std::string_view word) {
    line_ += ' ';
    line_ += key;
    line_ += '=';
    line_ += word;
    return *this;
}

EventLine& EventLine::addHex(std::string_view key, std::uint64_t value) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%llX", static_cast<unsigned long long>(value));
    return add(key, std::string_view(hex));
}

EventLine& EventLine::text(std::string_view text) {
    if (!hasText_) {
        line_ += " text=" + escapeText(text);
        hasText_ = true;
    }
    return *this;
}

std::string EventRecord::field(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

std::optional<EventRecord> parseEventLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view rest = line;
    EventRecord record;
    // "<ms>" or "<seconds>.<six digits of microseconds>".
    const auto number = [](std::string_view word) -> std::optional<std::uint64_t> {
        std::uint64_t value = 0;
        auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
            return std::nullopt;
        }
        return value;
    };
    const std::string_view time = nextWord(rest);
    const std::size_t point = time.find('.');
    if (point == std::string_view::npos) {
        const auto milliseconds = number(time);
        if (!milliseconds || *milliseconds > UINT64_MAX / 1000) return std::nullopt;
        record.milliseconds = *milliseconds;
        record.microseconds = *milliseconds * 1000;
    } else {
        const auto seconds = number(time.substr(0, point));
        const std::string_view fraction = time.substr(point + 1);
        const auto micros = number(fraction);
        if (!seconds || !micros || fraction.size() != 6 ||
            *seconds > (UINT64_MAX - *micros) / 1000000) {
            return std::nullopt;
        }
        record.microseconds = *seconds * 1000000 + *micros;
        record.milliseconds = record.microseconds / 1000;
    }
    record.event = std::string(nextWord(rest));
    if (record.event.empty()) return std::nullopt;
    while (!rest.empty()) {
        if (rest.substr(0, 5) == "text=") {
            record.text = unescapeText(rest.substr(5));
            if (!record.text) return std::nullopt;
            break;
        }
        const std::string_view word = nextWord(rest);
        if (word.empty()) continue;
        const std::size_t equals = word.find('=');
        if (equals == std::string_view::npos || equals == 0) return std::nullopt;
        record.fields[std::string(word.substr(0, equals))] = std::string(word.substr(equals + 1));
    }
    return record;
}

}  // namespace korvel::sim
