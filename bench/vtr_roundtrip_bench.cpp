// How fast the deck emulator answers: the deck model alone, and a status sense over a real
// pty link to the running program (a real machine answers within 9 ms).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "sim/vtr/deck.h"

extern char** environ;

namespace {

using korvel::sim::vtr::Bytes;
using korvel::sim::vtr::Deck;
using korvel::sim::vtr::DeckSettings;
using korvel::sim::vtr::Instant;

const Bytes kStatusSense = {0x61, 0x20, 0x05, 0x86};

void DeckModelStatusSense(benchmark::State& state) {
    Deck deck(DeckSettings{}, Instant(0));
    std::int64_t t = 0;
    for (auto _ : state) benchmark::DoNotOptimize(deck.receive(kStatusSense, Instant(t += 1000)));
}
BENCHMARK(DeckModelStatusSense);

void StatusSenseOverPty(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path link = fs::temp_directory_path() / ("vtr-bench-" + std::to_string(getpid()));
    std::string program = VTR_EMULATOR_PATH, linkArg = link.string(), logArg = "/dev/null";
    std::string o1 = "--link", o2 = "--log";
    char* argv[] = {program.data(), o1.data(), linkArg.data(), o2.data(), logArg.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        state.SkipWithError("cannot start vtr-emulator");
        return;
    }
    for (int i = 0; i < 500 && !fs::exists(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    if (fd < 0) state.SkipWithError("cannot open the emulator's port");
    double worstMicros = 0;
    for (auto _ : state) {
        if (fd < 0) break;
        const auto start = std::chrono::steady_clock::now();
        if (write(fd, kStatusSense.data(), kStatusSense.size()) != 4) {
            state.SkipWithError("write failed");
            break;
        }
        unsigned char reply[16];
        std::size_t got = 0;
        while (got < 8) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) break;
            const ssize_t n = read(fd, reply + got, sizeof reply - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (got != 8) {
            state.SkipWithError("no status reply");
            break;
        }
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - start;
        worstMicros = std::max(worstMicros, took.count());
    }
    state.counters["worst_us"] = worstMicros;
    if (fd >= 0) close(fd);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}
BENCHMARK(StatusSenseOverPty)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
