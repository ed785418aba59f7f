// korvel-decode: the driver's serial traffic explained, from its disk log, a saved trace or the
// deck emulator's log.

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/decode/traffic_decoder.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* kHelp = R"(Usage: korvel-decode [--vt N] [--summary] [--timeout MS] [FILE ...]

Explains Sony 9-pin traffic in the driver's disk log (korvel.log), a saved
debug trace, or the deck emulator's log: each line is printed as it is, and
below it every frame it completes, with its VT, its direction (-> to the
machine, <- from it) and its meaning: the command's name and arguments, or
the reply (ACK, NAK and its reasons, status bits by name with the transport
state the driver makes of them, timecode with its flags), and checksum
errors. Reads the files in turn, or standard input when none is given or a
FILE is "-". The whole input is read before anything is printed.

The driver's "TX:" lines do not name their VT: each goes to the VT whose next
reply answers it (VT? when none does and the log has several VTs). In the
emulator's log, VT N is the emulator's deck N.

Options:
  --vt N          only the traffic of VT N (1 to 9)
  --summary       per VT: commands by name, replies by meaning, NAKs,
                  checksum errors, replies later than the time-out after
                  their command, commands left unanswered, and the longest
                  silence; then the number of lines read and skipped
  --timeout MS    the driver's transmit time-out, TxTimeoutmS (250)
  --help          show this text

Lines of no known format (binary junk, cut lines, other logs) are skipped
and counted. Exit status: 0, or 2 for a wrong option or a file that cannot
be read.
)";

constexpr std::size_t kMaxLine = 4096;

// Lines of at most kMaxLine characters; a longer one is kept to that length (it is no line
// of a traffic log, and binary junk without line ends must not fill the memory).
void readLines(std::istream& in, korvel::tools::decode::TrafficDecoder& decoder) {
    std::string line;
    bool overlong = false;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const std::streamsize n = in.gcount();
        for (std::streamsize i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                decoder.addLine(overlong ? std::string_view("\x01") : std::string_view(line));
                line.clear();
                overlong = false;
            } else if (line.size() < kMaxLine) {
                line += buffer[i];
            } else {
                overlong = true;
            }
        }
    }
    if (!line.empty() || overlong)
        decoder.addLine(overlong ? std::string_view("\x01") : std::string_view(line));
}

bool number(std::string_view text, int low, int high, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() && value >= low && value <= high;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "korvel-decode: %s\n(--help shows the options)\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int vt = 0;
    int timeoutMs = 250;
    bool summary = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--summary") {
            summary = true;
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

    korvel::tools::decode::TrafficDecoder decoder(static_cast<std::int64_t>(timeoutMs) * 1000);
    for (const std::string& file : files) {
        if (file == "-") {
#ifdef _WIN32
            // Text mode would end the input at the first Ctrl-Z byte of a damaged log.
            _setmode(_fileno(stdin), _O_BINARY);
#endif
            readLines(std::cin, decoder);
            continue;
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "korvel-decode: cannot read %s\n", file.c_str());
            return 2;
        }
        readLines(in, decoder);
    }
    decoder.finish();
    if (summary)
        decoder.printSummary(std::cout, vt);
    else
        decoder.print(std::cout, vt);
    if (!summary && decoder.skippedLines() > 0)
        std::fprintf(stderr, "korvel-decode: %d lines skipped (no traffic log line)\n",
                     decoder.skippedLines());
    return 0;
}
