#include "tools/decode/log_line.h"

#include <charconv>
#include <utility>

#include "log/traffic_line.h"

namespace korvel::tools::decode {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// At most 12 digits in a number of free width: seconds or milliseconds of that size still fit
// in microseconds of 64 bits, whatever a damaged log holds.
constexpr std::size_t kMaxDigits = 12;

// A number of exactly `width` digits at the start of text (1 to kMaxDigits digits for 0).
bool takeNumber(std::string_view& text, std::size_t width, std::int64_t& value) {
    std::size_t n = 0;
    while (n < text.size() && isDigit(text[n]) && n <= kMaxDigits && (width == 0 || n < width)) ++n;
    if (n == 0 || (width != 0 && n != width) || n > kMaxDigits) return false;
    std::from_chars(text.data(), text.data() + n, value);
    text.remove_prefix(n);
    return true;
}

bool takeText(std::string_view& text, std::string_view expected) {
    if (!text.starts_with(expected)) return false;
    text.remove_prefix(expected.size());
    return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// "TX: bytes" or "Read[vtN] bytes", the driver's own words in its log and its trace: traffic,
// skipped when cut short, other when it is neither.
LogLine::Kind takeDriverTraffic(std::string_view text, LogLine& line, LogLine::Kind other) {
    log::TrafficLine traffic;
    switch (log::parseTrafficLine(text, traffic)) {
        case log::TrafficParse::kNotTraffic:
            return other;
        case log::TrafficParse::kDamaged:
            return LogLine::Kind::kSkipped;
        case log::TrafficParse::kTraffic:
            break;
    }
    line.direction = traffic.received ? Direction::kReply : Direction::kCommand;
    line.vt = traffic.vtNumber;
    // The driver logs each frame it writes as one line.
    line.wholeFrame = !traffic.received;
    line.bytes = std::move(traffic.bytes);
    return LogLine::Kind::kTraffic;
}

// 07/12/2026 09:05:03 <text>
bool parseDriverLog(std::string_view text, LogLine& line) {
    log::LogTime stamp;
    if (!log::takeLogStamp(text, stamp)) return false;
    const std::int64_t day = stamp.day, month = stamp.month, year = stamp.year, hour = stamp.hour,
                       minute = stamp.minute, second = stamp.second;
    // The driver writes no line before 1970: such a date is damage, and refusing it keeps
    // every time of the log non-negative.
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    line.clock = LogLine::Clock::kAbsolute;
    line.resolution = 1'000'000;
    line.time = ((daysFromCivil(year, month, day) * 24 + hour) * 60 + minute) * 60 + second;
    line.time *= 1'000'000;
    line.kind = takeDriverTraffic(text, line, LogLine::Kind::kSkipped);
    return true;
}

// 000125:   <text>, as the trace list shows it, or "trace.7 000125:   <text>" as the probe
// (korvel-probe trace) saves it.
bool parseTrace(std::string_view text, LogLine& line) {
    std::int64_t ms = 0;
    if (takeText(text, "trace.") && !(takeNumber(text, 0, ms) && takeText(text, " "))) return false;
    if (!takeNumber(text, 0, ms) || !takeText(text, ":   ")) return false;
    line.clock = LogLine::Clock::kDelta;
    line.time = ms * 1000;
    line.resolution = 1000;
    line.kind = takeDriverTraffic(text, line, LogLine::Kind::kOther);
    return true;
}

// 12.345678 1 rx 20 01 21
bool parseEmulatorLog(std::string_view text, LogLine& line) {
    std::int64_t seconds, micros, deck;
    if (!(takeNumber(text, 0, seconds) && takeText(text, ".") && takeNumber(text, 6, micros) &&
          takeText(text, " ") && takeNumber(text, 0, deck) && takeText(text, " ")))
        return false;
    line.clock = LogLine::Clock::kAbsolute;
    line.time = seconds * 1'000'000 + micros;
    line.resolution = 1;
    line.vt = deck <= 99 ? static_cast<int>(deck) : 0;
    line.kind = LogLine::Kind::kOther;
    const std::size_t blank = text.find(' ');
    const std::string_view event = text.substr(0, blank);
    const std::string_view detail =
        blank == text.npos ? std::string_view{} : text.substr(blank + 1);
    const bool command = event == "rx" || event == "bad" || event == "timeout";
    if (!command && event != "tx" && event != "drop") return true;
    if (deck < 1 || deck > 99 || !log::parseHexBytes(detail, line.bytes)) {
        line.kind = LogLine::Kind::kSkipped;
        return true;
    }
    line.kind = LogLine::Kind::kTraffic;
    line.direction = event == "tx" ? Direction::kReply : Direction::kCommand;
    line.wholeFrame = command;
    line.junk = event == "drop";
    return true;
}

}  // namespace

LogLine parseLogLine(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    LogLine line;
    if (parseDriverLog(text, line) || parseTrace(text, line) || parseEmulatorLog(text, line))
        return line;
    return LogLine{};
}

}  // namespace korvel::tools::decode
