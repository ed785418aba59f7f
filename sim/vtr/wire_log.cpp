#include "sim/vtr/wire_log.h"

namespace korvel::sim::vtr {

std::string formatLogLine(Instant time, int deck, std::string_view event, std::string_view detail) {
    const long long micros = time.count();
    char head[64];
    std::snprintf(head, sizeof head, "%lld.%06lld %d ", micros / 1'000'000, micros % 1'000'000,
                  deck);
    std::string line(head);
    line += event;
    if (!detail.empty()) {
        line += ' ';
        // One event, one line: control characters in a detail (a control line, say) are masked.
        for (char c : detail) line += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    return line;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::optional<LogLine> parseLogLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    // "<seconds>.<microseconds> <deck> <event>[ <detail>]"
    long long seconds = 0, micros = 0;
    int deck = 0, consumed = 0;
    char event[32] = {};
    const std::string text(line);
    if (std::sscanf(text.c_str(), "%lld.%6lld %d %31s%n", &seconds, &micros, &deck, event,
                    &consumed) != 4)
        return std::nullopt;
    LogLine parsed;
    parsed.time = Instant{seconds * 1'000'000 + micros};
    parsed.deck = deck;
    parsed.event = event;
    if (static_cast<std::size_t>(consumed) < text.size()) parsed.detail = text.substr(consumed + 1);
    return parsed;
}

void WireLog::write(Instant time, int deck, std::string_view event, std::string_view detail) {
    const std::string line = formatLogLine(time, deck, event, detail);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);  // readers follow the log while the emulator runs
}

std::FILE* openLogFile(const std::string& path) {
    if (path.empty()) return stdout;
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) std::perror(("vtr-emulator: " + path).c_str());
    return out;
}

}  // namespace korvel::sim::vtr
