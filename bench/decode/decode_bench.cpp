// decode_bench: how fast korvel-decode reads a site's log, and in how much memory. Makes the
// driver's disk log of nine busy VTs (bench/decode/traffic_log_generator.h) a second at a time
// and feeds it to the decoder as korvel-decode does, once for the summary and once explained
// (the text is counted, not kept); prints lines per second and the peak resident memory. It
// does not pass or fail. With --write it writes the log as dated files instead, for timing the
// program itself.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

#include "bench/decode/traffic_log_generator.h"
#include "tools/decode/line_splitter.h"
#include "tools/decode/traffic_decoder.h"

#ifdef _WIN32
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

using korvel::bench::TrafficLogGenerator;
using korvel::tools::decode::DecodedLine;
using korvel::tools::decode::LineSplitter;
using korvel::tools::decode::TrafficDecoder;

double peakResidentMegabytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
#else
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
#endif
}

// The processor time this process has had: on a machine shared with other work, the wall clock
// says little.
double processorSeconds() {
#ifdef _WIN32
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return -1;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
#else
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#endif
}

// Counts what is written to it, as a terminal or a file would take it.
class CountingBuffer : public std::streambuf {
  public:
    std::uint64_t count = 0;

  protected:
    int_type overflow(int_type c) override {
        ++count;
        return c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        count += static_cast<std::uint64_t>(n);
        return n;
    }
};

void decodeDays(int days, bool explained) {
    CountingBuffer counted;
    std::ostream out(&counted);
    TrafficDecoder::LineHandler show;
    if (explained)
        show = [&out](const DecodedLine& line) {
            korvel::tools::decode::printDecodedLine(out, line, 0);
        };
    TrafficDecoder decoder(250'000, std::move(show));
    LineSplitter lines(decoder);
    TrafficLogGenerator log(2026, 12, 7);
    std::string text;
    std::uint64_t bytes = 0;
    std::size_t mostHeld = 0;
    std::chrono::steady_clock::duration spent{};
    double processor = 0;  // of the decoding alone
    for (int minute = 0; minute < days * 24 * 60; ++minute) {
        text.clear();
        for (int second = 0; second < 60; ++second) log.nextSecond(text);
        bytes += text.size();
        const auto start = std::chrono::steady_clock::now();
        const double processorAtStart = processorSeconds();
        lines.add(text.data(), text.size());
        processor += processorSeconds() - processorAtStart;
        spent += std::chrono::steady_clock::now() - start;
        if (decoder.heldLines() > mostHeld) mostHeld = decoder.heldLines();
    }
    const auto start = std::chrono::steady_clock::now();
    lines.endOfInput();
    decoder.settle();
    std::ostream summary(&counted);
    decoder.printSummary(summary, 0);
    spent += std::chrono::steady_clock::now() - start;

    const double seconds = std::chrono::duration<double>(spent).count();
    const double linesRead = static_cast<double>(decoder.linesRead());
    std::printf(
        "%d day%s, %s: %.0f lines (%.0f MB) in %.2f s (%.2f s of processor), "
        "%.0f lines/s, %.0f MB/s; at most %zu lines held; %.1f MB printed; "
        "peak resident %.1f MB\n",
        days, days == 1 ? "" : "s", explained ? "explained" : "summary", linesRead,
        static_cast<double>(bytes) / 1e6, seconds, processor, linesRead / seconds,
        static_cast<double>(bytes) / 1e6 / seconds, mostHeld,
        static_cast<double>(counted.count) / 1e6, peakResidentMegabytes());
    std::fflush(stdout);
}

int writeDays(int days, const std::string& folder) {
    TrafficLogGenerator log(2026, 12, 7);
    std::string text;
    for (int day = 0; day < days; ++day) {
        const std::string path = folder + "/" + log.dayName() + ".log";
        std::ofstream file(path, std::ios::binary);
        for (int second = 0; second < TrafficLogGenerator::kSecondsPerDay; ++second) {
            text.clear();
            log.nextSecond(text);
            file << text;
        }
        if (!file.flush()) {
            std::fprintf(stderr, "decode_bench: cannot write %s\n", path.c_str());
            return 2;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int days = 1;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--days") == 0 && i + 1 < argc) {
            days = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--write") == 0 && i + 1 < argc) {
            folder = argv[++i];
        } else {
            std::fprintf(stderr,
                         "Usage: decode_bench [--days N] [--write FOLDER]\n"
                         "Decodes N days (1) of a made-up log of nine VTs, as a summary, then\n"
                         "explained (one day); or writes them to FOLDER as YYYYMMDD.log files.\n");
            return 2;
        }
    }
    if (days < 1 || days > 366) {
        std::fprintf(stderr, "decode_bench: --days takes 1 to 366\n");
        return 2;
    }
    if (!folder.empty()) return writeDays(days, folder);
    decodeDays(days, false);
    if (days == 1) decodeDays(1, true);
    return 0;
}
