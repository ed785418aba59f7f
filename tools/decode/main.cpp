// korvel-decode: the driver's serial traffic explained, from its disk log, a saved trace or the
// deck emulator's log.

#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/decode/line_splitter.h"
#include "tools/decode/log_follower.h"
#include "tools/decode/traffic_decoder.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* kHelp =
    R"(Usage: korvel-decode [--vt N] [--summary] [--timeout MS] [--follow] [FILE ...]

Explains Sony 9-pin traffic in the driver's disk log (korvel.log, or its
dated files), a saved debug trace, or the deck emulator's log: each line is
printed as it is, and below it every frame it completes, with its VT, its
direction (-> to the machine, <- from it) and its meaning: the command's name
and arguments, or the reply (ACK, NAK and its reasons, status bits by name
with the transport state the driver makes of them, timecode with its flags),
and checksum errors. Several files are read in turn as one log; standard
input when none is given or a FILE is "-". Lines are printed as they are
read, a "TX:" line once its reply is in; memory stays small whatever the
length of the log.

The driver's "TX:" lines do not name their VT: each goes to the VT whose next
reply answers it within twice the time-out (VT? when none does and the log
has shown several VTs). In the emulator's log, VT N is the emulator's deck N.

Options:
  --vt N          only the traffic of VT N (1 to 9)
  --summary       per VT: commands by name, replies by meaning, NAKs,
                  checksum errors, replies later than the time-out after
                  their command, commands left unanswered, and the longest
                  silence; then the number of lines read and skipped
  --timeout MS    the driver's transmit time-out, TxTimeoutmS (250)
  --follow        after the last FILE's end, go on explaining lines as they
                  are added to it, like tail -f, until Ctrl-C; a file
                  replaced under the same name is read from its start, and
                  a dated log (YYYYMMDD.log, YYYYMMDD-HH.log) gives way to
                  the next one that appears in its folder
  --help          show this text

Lines of no known format (binary junk, cut lines, other logs) are skipped
and counted. Exit status: 0, or 2 for a wrong option or a file that cannot
be read.
)";

using korvel::tools::decode::LineSplitter;
using korvel::tools::decode::LogFollower;
using korvel::tools::decode::TrafficDecoder;

// How often a followed log is looked at: a line added shows within this, or, when it is a
// command still waiting for its reply, once the log has been quiet for twice the time-out.
constexpr auto kFollowPeriod = std::chrono::milliseconds(200);
constexpr int kPollsPerListing = 5;

bool number(std::string_view text, int low, int high, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() && value >= low && value <= high;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "korvel-decode: %s\n(--help shows the options)\n", message.c_str());
    return 2;
}

// Standard input, read as it comes (a pipe from a live source shows each line at once).
void readStandardInput(LineSplitter& lines) {
#ifdef _WIN32
    // Text mode would end the input at the first Ctrl-Z byte of a damaged log.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    char buffer[65536];
    for (;;) {
#ifdef _WIN32
        const int got = _read(0, buffer, sizeof buffer);
#else
        const ssize_t got = ::read(0, buffer, sizeof buffer);
#endif
        if (got <= 0) break;
        lines.add(buffer, static_cast<std::size_t>(got));
    }
    lines.endOfInput();
}

[[noreturn]] void follow(LogFollower& file, TrafficDecoder& decoder,
                         std::chrono::milliseconds quiet) {
    if (!file.exists())
        std::fprintf(stderr, "korvel-decode: waiting for %s\n", file.path().c_str());
    auto lastNews = std::chrono::steady_clock::now();
    bool settled = false;
    for (int quietPolls = 0;; ++quietPolls) {
        bool news = file.readNew();
        // The folder is listed once a second at most: it may be a network share with a year
        // of hourly files.
        if (!news && quietPolls % kPollsPerListing == kPollsPerListing - 1 &&
            file.moveToNextFile()) {
            std::fprintf(stderr, "korvel-decode: now reading %s\n", file.path().c_str());
            news = true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (news) {
            lastNews = now;
            settled = false;
            quietPolls = -1;
        } else if (!settled && now - lastNews >= quiet) {
            // No reply can come in time any more for a command the log ends on.
            decoder.settle();
            settled = true;
        }
        std::cout.flush();
        std::this_thread::sleep_for(kFollowPeriod);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int vt = 0;
    int timeoutMs = 250;
    bool summary = false;
    bool following = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--summary") {
            summary = true;
        } else if (arg == "--follow" || arg == "-f") {
            following = true;
        } else if (arg == "--vt" || arg == "--timeout") {
            if (i + 1 >= argc) return usageError(std::string(arg) + " needs a value");
            const std::string_view value = argv[++i];
            if (arg == "--vt" && !number(value, 1, 9, vt))
                return usageError("--vt takes a VT number, 1 to 9");
            if (arg == "--timeout" && !number(value, 1, 600'000, timeoutMs))
                return usageError("--timeout takes milliseconds, 1 to 600000");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + std::string(arg));
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) files.emplace_back("-");
    if (following && summary)
        return usageError("--follow explains lines as they come; --summary needs the log's end");
    if (following && files.back() == "-")
        return usageError("--follow needs a FILE (standard input is read as it comes anyway)");

    std::ios::sync_with_stdio(false);
    TrafficDecoder::LineHandler show;
    if (!summary)
        show = [vt](const korvel::tools::decode::DecodedLine& line) {
            korvel::tools::decode::printDecodedLine(std::cout, line, vt);
        };
    TrafficDecoder decoder(static_cast<std::int64_t>(timeoutMs) * 1000, std::move(show));
    LineSplitter lines(decoder);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i] == "-") {
            readStandardInput(lines);
            continue;
        }
        LogFollower file(files[i], lines);
        file.readNew();
        if (following && i + 1 == files.size())
            follow(file, decoder, std::chrono::milliseconds(2 * timeoutMs));
        if (!file.exists()) {
            std::fprintf(stderr, "korvel-decode: cannot read %s\n", files[i].c_str());
            return 2;
        }
        lines.endOfInput();
    }
    decoder.settle();
    if (summary) decoder.printSummary(std::cout, vt);
    std::cout.flush();
    if (!summary && decoder.skippedLines() > 0)
        std::fprintf(stderr, "korvel-decode: %lld lines skipped (no traffic log line)\n",
                     static_cast<long long>(decoder.skippedLines()));
    return 0;
}
