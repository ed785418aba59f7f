// The measuring half of bench/system_bench (native):
//
//   system_bench_report clock-offset
//       prints CLOCK_MONOTONIC - CLOCK_MONOTONIC_RAW in microseconds: what turns the
//       infodriver emulator's precise times (wine's performance counter, which is the raw
//       monotonic clock) into the deck emulator's (the monotonic clock)
//   system_bench_report raw-now
//       prints CLOCK_MONOTONIC_RAW now as seconds.micros (to check the emulator's times)
//   system_bench_report figures DECK_LOG INFODRIVER_LOG OFFSET_MICROS BASE_DEVICE
//       prints the table of latency figures from the two logs
#include <time.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/system_figures.h"

namespace {

// After the last command: its status requests and replies are over.
constexpr std::int64_t kCommandsSettleMicros = 1'500'000;

std::int64_t micros(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The raw clock read between two reads of the monotonic one; the narrowest bracket of a few
// tries gives the offset to within a microsecond or two.
int printClockOffset() {
    std::int64_t best = INT64_MAX;
    std::int64_t offset = 0;
    for (int i = 0; i < 50; ++i) {
        const std::int64_t before = micros(CLOCK_MONOTONIC);
        const std::int64_t raw = micros(CLOCK_MONOTONIC_RAW);
        const std::int64_t after = micros(CLOCK_MONOTONIC);
        if (after - before < best) {
            best = after - before;
            offset = (before + after) / 2 - raw;
        }
    }
    std::printf("%lld\n", static_cast<long long>(offset));
    return 0;
}

int printRawNow() {
    const std::int64_t now = micros(CLOCK_MONOTONIC_RAW);
    std::printf("%lld.%06lld\n", static_cast<long long>(now / 1000000),
                static_cast<long long>(now % 1000000));
    return 0;
}

int printFigures(const char* deckPath, const char* slotPath, const char* offsetText,
                 const char* baseText) {
    char* end = nullptr;
    const long long offset = std::strtoll(offsetText, &end, 10);
    if (*offsetText == '\0' || *end != '\0') {
        std::fprintf(stderr, "system_bench_report: bad offset %s\n", offsetText);
        return 2;
    }
    const unsigned long base = std::strtoul(baseText, &end, 10);
    if (*baseText == '\0' || *end != '\0' || base == 0 || base > 0xFFFFFFF0ul) {
        std::fprintf(stderr, "system_bench_report: bad base device %s\n", baseText);
        return 2;
    }
    korvel::bench::SystemLogs logs;
    logs.baseDevice = static_cast<std::uint32_t>(base);
    std::ifstream deckLog(deckPath);
    std::ifstream slotLog(slotPath);
    if (!deckLog || !slotLog) {
        std::fprintf(stderr, "system_bench_report: cannot read %s or %s\n", deckPath, slotPath);
        return 2;
    }
    std::string line;
    while (std::getline(deckLog, line)) {
        if (auto event = korvel::bench::parseDeckLine(line)) logs.deck.push_back(*event);
    }
    while (std::getline(slotLog, line)) {
        if (auto event = korvel::bench::parseSlotLine(line, offset)) logs.slots.push_back(*event);
    }

    using namespace korvel::bench;
    const std::int64_t faults = firstFaultTime(logs);
    std::puts(tableHeader().c_str());
    std::puts(tableRow("slot write -> frame at deck", commandToWire(logs, faults)).c_str());
    std::puts(tableRow("transport command -> slot 2 state", commandToState(logs, faults)).c_str());
    // A VT asks for its status after every command too; the poll alone runs once the
    // commands are over, while the system idles.
    const std::int64_t last = lastCommandTime(logs);
    const Samples rounds =
        pollRounds(logs, last == INT64_MIN ? INT64_MIN : last + kCommandsSettleMicros, faults);
    std::puts(tableRow("poll round per VT (while idle)", rounds).c_str());
    Samples deviation;
    for (double round : rounds.values) deviation.values.push_back(std::abs(round - 1125.0));
    std::puts(tableRow("  its deviation from 1125 (jitter)", deviation).c_str());
    std::puts(tableRow("deck silent -> slot 3 \"1,...\"", silentToFailure(logs)).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "clock-offset" && argc == 2) return printClockOffset();
    if (mode == "raw-now" && argc == 2) return printRawNow();
    if (mode == "figures" && argc == 6) return printFigures(argv[2], argv[3], argv[4], argv[5]);
    std::fprintf(stderr,
                 "usage: system_bench_report clock-offset\n"
                 "       system_bench_report raw-now\n"
                 "       system_bench_report figures DECK_LOG INFODRIVER_LOG OFFSET_MICROS "
                 "BASE_DEVICE\n");
    return 2;
}
