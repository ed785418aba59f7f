#include "sim/vtr/control_command.h"

#include <charconv>
#include <vector>

namespace korvel::sim::vtr {

namespace {

using Action = ControlCommand::Action;

constexpr int kMaxCount = 1'000'000;
constexpr int kMaxMilliseconds = 60'000;

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\r'))
            ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '\r')
            ++pos;
        if (pos > start) words.push_back(line.substr(start, pos - start));
    }
    return words;
}

std::optional<int> number(std::string_view word, int base, int limit) {
    int value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (ec != std::errc{} || end != word.data() + word.size() || value < 0 || value > limit)
        return std::nullopt;
    return value;
}

ControlParse failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

ControlParse parseFault(ControlCommand command, const std::vector<std::string_view>& words) {
    if (words.size() < 4) return failure("fault needs a kind");
    const std::string_view kind = words[3];
    const std::size_t extra = words.size() - 4;
    auto argument = [&](std::size_t index, int limit, int base = 10) {
        return number(words[4 + index], base, limit);
    };
    if ((kind == "silent" || kind == "corrupt" || kind == "closed" || kind == "echo" ||
         kind == "invert") &&
        extra == 0) {
        command.action = kind == "silent"    ? Action::kSilent
                         : kind == "corrupt" ? Action::kCorrupt
                         : kind == "echo"    ? Action::kEcho
                         : kind == "invert"  ? Action::kInvert
                                             : Action::kClosed;
        return {command, {}};
    }
    if (kind == "nak" && (extra == 1 || extra == 2)) {
        const auto count = argument(0, kMaxCount);
        if (!count) return failure("nak needs a count");
        command.action = Action::kNak;
        command.value = *count;
        if (extra == 2) {
            const auto bits = argument(1, 0xFF, 16);
            if (!bits) return failure("nak error bits are one hexadecimal byte");
            command.nakError = static_cast<std::uint8_t>(*bits);
        }
        return {command, {}};
    }
    if ((kind == "garbage" || kind == "split") && extra <= 1) {
        const bool garbage = kind == "garbage";
        command.action = garbage ? Action::kGarbage : Action::kSplit;
        command.value = garbage ? kDefaultGarbageBytes : kDefaultSplitMs;
        if (extra == 1) {
            const auto value = argument(0, garbage ? 4096 : kMaxMilliseconds);
            if (!value)
                return failure(garbage ? "garbage needs a byte count up to 4096"
                                       : "split needs milliseconds up to 60000");
            command.value = *value;
        }
        return {command, {}};
    }
    if (kind == "delay" && extra == 1) {
        const auto ms = argument(0, kMaxMilliseconds);
        if (!ms) return failure("delay needs milliseconds up to 60000");
        command.action = Action::kDelay;
        command.value = *ms;
        return {command, {}};
    }
    return failure("unknown fault or wrong arguments: " + std::string(kind));
}

}  // namespace

ControlParse parseControlLine(std::string_view line) {
    const std::vector<std::string_view> words = splitWords(line);
    if (words.size() < 3 || words[0] != "deck") return failure("expected: deck N ...");
    ControlCommand command;
    if (words[1] == "all") {
        command.deck = ControlCommand::kAllDecks;
    } else {
        const auto deck = number(words[1], 10, 9999);
        if (!deck || *deck == 0) return failure("deck number must be 1 or more, or all");
        command.deck = *deck;
    }
    const std::string_view verb = words[2];
    if (verb == "fault") return parseFault(command, words);
    if ((verb == "clear" || verb == "show") && words.size() == 3) {
        command.action = verb == "clear" ? Action::kClear : Action::kShow;
        return {command, {}};
    }
    struct Switch {
        std::string_view verb, on, off;
        Action action;
    };
    static constexpr Switch kSwitches[] = {{"local", "on", "off", Action::kLocal},
                                           {"tape", "in", "out", Action::kTape},
                                           {"inhibit", "on", "off", Action::kInhibit}};
    for (const Switch& s : kSwitches) {
        if (verb != s.verb) continue;
        if (words.size() != 4 || (words[3] != s.on && words[3] != s.off))
            return failure(std::string(s.verb) + " takes " + std::string(s.on) + " or " +
                           std::string(s.off));
        command.action = s.action;
        command.value = words[3] == s.on ? 1 : 0;
        return {command, {}};
    }
    return failure("unknown command: " + std::string(verb));
}

}  // namespace korvel::sim::vtr
