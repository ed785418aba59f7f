#include "bench/decode/traffic_log_generator.h"

#include <cstdio>

#include "engine/frame.h"
#include "log/traffic_line.h"

namespace korvel::bench {
namespace {

std::vector<std::uint8_t> framed(std::vector<std::uint8_t> bytes) {
    bytes.push_back(engine::frameChecksum(bytes.data(), static_cast<int>(bytes.size())));
    return bytes;
}

std::uint8_t bcd(int value) {
    return static_cast<std::uint8_t>((value / 10) * 16 + value % 10);
}

bool isLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysIn(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

TrafficLogGenerator::TrafficLogGenerator(int year, int month, int day, std::uint32_t seed)
    : year_(year), month_(month), day_(day), random_(seed) {}

std::string TrafficLogGenerator::dayName() const {
    char name[16];
    std::snprintf(name, sizeof name, "%04d%02d%02d", year_ % 10000, month_ % 100, day_ % 100);
    return name;
}

void TrafficLogGenerator::line(std::string& text, int vt, const std::vector<std::uint8_t>& bytes) {
    char traffic[log::trafficLineSize(64)];
    const int count = static_cast<int>(bytes.size() < 64 ? bytes.size() : 64);
    if (vt == 0) {
        log::formatTransmitLine(traffic, bytes.data(), count);
    } else {
        log::formatReceiveLine(traffic, vt, bytes.data(), count);
    }
    text += stamp_;
    text += traffic;
    text += "\r\n";
}

std::vector<std::uint8_t> TrafficLogGenerator::timecode() const {
    const int frame = static_cast<int>(replies_ % 25);
    return framed(
        {0x74, 0x04, bcd(frame), bcd(second_ % 60), bcd(second_ / 60 % 60), bcd(second_ / 3600)});
}

std::vector<std::uint8_t> TrafficLogGenerator::status() {
    const std::uint8_t play = (random_() % 4 == 0) ? 0x01 : 0x00;
    return framed({0x75, 0x20, 0x00, static_cast<std::uint8_t>(0x80 | play), 0x00, 0x00, 0x00});
}

// The command's line, then its reply's: damaged now and then, NAKed now and then, sometimes in
// two reads. A VT that is silent leaves its command unanswered.
void TrafficLogGenerator::exchange(std::string& text, int vt, std::vector<std::uint8_t> command,
                                   std::vector<std::uint8_t> reply) {
    line(text, 0, framed(std::move(command)));
    const bool silent = vt == 4 && second_ >= 10 * 3600 && second_ < 13 * 3600;
    if (silent) return;
    ++replies_;
    if (replies_ % 701 == 0) reply = framed({0x11, 0x12, 0x80});
    if (replies_ % 997 == 0) reply.back() ^= 0x55;
    if (replies_ % 97 == 0 && reply.size() > 3) {
        const std::vector<std::uint8_t> first(reply.begin(), reply.begin() + 2);
        const std::vector<std::uint8_t> rest(reply.begin() + 2, reply.end());
        line(text, vt, first);
        line(text, vt, rest);
        return;
    }
    line(text, vt, reply);
}

void TrafficLogGenerator::nextSecond(std::string& text) {
    log::formatLogStamp(stamp_, sizeof stamp_,
                        log::LogTime{year_ % 10000, month_ % 100, day_ % 100, second_ / 3600,
                                     second_ / 60 % 60, second_ % 60});
    for (int vt = 1; vt <= kVts; ++vt) {
        // Two VTs' commands on the wire at once, now and then: the second VT's command is
        // written before the first one's reply comes.
        if (vt < kVts && random_() % 50 == 0) {
            std::string second;
            exchange(second, vt + 1, {0x61, 0x0c, 0x01}, timecode());
            const std::size_t firstLineEnd = second.find('\n') + 1;
            std::string first;
            exchange(first, vt, {0x61, 0x0c, 0x01}, timecode());
            const std::size_t commandEnd = first.find('\n') + 1;
            text += first.substr(0, commandEnd);
            text += second.substr(0, firstLineEnd);
            text += first.substr(commandEnd);
            text += second.substr(firstLineEnd);
            exchange(text, vt, {0x61, 0x20, 0x05}, status());
            exchange(text, vt + 1, {0x61, 0x20, 0x05}, status());
            ++vt;
            continue;
        }
        exchange(text, vt, {0x61, 0x0c, 0x01}, timecode());
        exchange(text, vt, {0x61, 0x20, 0x05}, status());
        if (second_ % 60 == vt) exchange(text, vt, {0x20, 0x01}, framed({0x10, 0x01}));
    }
    if (random_() % 300 == 0) text += "\x01\x7f junk \xff\xfe written over the log\r\n";
    if (++second_ == kSecondsPerDay) {
        second_ = 0;
        if (++day_ > daysIn(year_, month_)) {
            day_ = 1;
            if (++month_ > 12) {
                month_ = 1;
                ++year_;
            }
        }
    }
}

}  // namespace korvel::bench
