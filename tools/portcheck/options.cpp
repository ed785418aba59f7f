#include "tools/portcheck/options.h"

#include <cctype>
#include <charconv>

#include "comms/comms.h"

namespace korvel::tools::portcheck {
namespace {

// Rounds per port in a survey, unless given: every silent port costs them.
constexpr int kSurveyRounds = 2;

bool number(const std::string& text, int low, int high, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() && value >= low && value <= high;
}

}  // namespace

const char* const kHelp = R"(Usage: korvel-portcheck [OPTIONS] PORT
       korvel-portcheck [OPTIONS] --all

Asks the Sony 9-pin deck on PORT, with the driver's line settings, its
device type (00 11), its status (61 20 09) and its timecode (61 0C 01), a
number of times, and prints what came back: the device type bytes, the
status bits by name with the transport state the driver makes of them, the
timecode with its flags, and the round-trip times (min, median, max). Then
a diagnosis with what to check for whatever went wrong: nothing back, our
own frames back, frames that do not check (it then tries the usual speeds
and parities and says which one the deck answers on), refusals (NAKs),
local mode, no tape.

PORT is COMn (COM1 to COM256); on Linux also a device path (/dev/ttyUSB0).

With --all, every serial port of the PC is asked the same questions: the
ports Windows lists (with the adapter's name, and an FTDI adapter's latency
timer, with a warning above 4 ms) and every name from COM1 to COM256 that
opens. One table row per port: port, adapter, whether a deck answers, its
device type, status and timecode, and the diagnosis in short. A port that
another program holds is reported "in use", never taken.

Options:
  --speed BAUD        line speed (38400)
  --data-bits N       5 to 8 (8)
  --parity P          N, O, E or M (O)
  --stop-bits N       1 or 2 (1)
  --all               every serial port instead of one PORT
  --count N           rounds of the three questions, 1 to 1000 (10; 2 with --all)
  --timeout MS        how long a reply may take, the driver's TxTimeoutmS (250)
  --no-try            do not try other line settings
  --help              show this text

Exit status: 0 the deck answered every question correctly on these
settings (a deck that knows no device type request but answers the rest
passes, with a note); 1 it did not (see the diagnosis); 2 wrong arguments,
or the port cannot be opened. With --all: 0 when a deck answers on at least
one port, 1 when none does, 2 wrong arguments.
)";

int comPortNumber(const std::string& name) {
    if (name.size() < 4) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[static_cast<std::size_t>(i)])) != "COM"[i])
            return 0;
    int number = 0;
    const auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), number);
    if (ec != std::errc{} || end != name.data() + name.size()) return 0;
    return number >= 1 && number <= comms::kPortCount ? number : 0;
}

OptionsParse parseOptions(const std::vector<std::string>& arguments) {
    OptionsParse parse;
    Options& o = parse.options;
    bool countGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
            return parse;
        }
        if (a == "--no-try") {
            o.tryOthers = false;
            continue;
        }
        if (a == "--all") {
            o.all = true;
            continue;
        }
        if (a.rfind("--", 0) == 0) {
            if (i + 1 >= arguments.size()) {
                parse.error = a + " needs a value";
                return parse;
            }
            const std::string& v = arguments[++i];
            bool good = true;
            if (a == "--speed") {
                good = number(v, 50, 4'000'000, o.line.speed);
            } else if (a == "--data-bits") {
                good = number(v, 5, 8, o.line.dataBits);
            } else if (a == "--stop-bits") {
                good = number(v, 1, 2, o.line.stopBits);
            } else if (a == "--count") {
                good = number(v, 1, 1000, o.count);
                countGiven = true;
            } else if (a == "--timeout") {
                good = number(v, 1, 60'000, o.timeoutMs);
            } else if (a == "--parity") {
                const auto letter = parityLetter(v);
                good = letter.has_value();
                if (good) o.line.parity = *letter;
            } else {
                parse.error = "unknown option " + a;
                return parse;
            }
            if (!good) {
                parse.error = "wrong value for " + a + ": " + v;
                return parse;
            }
            continue;
        }
        if (!o.port.empty()) {
            parse.error = "one PORT only";
            return parse;
        }
        o.port = a;
    }
    if (o.all && !o.port.empty()) {
        parse.error = "--all or one PORT, not both";
    } else if (o.all) {
        if (!countGiven) o.count = kSurveyRounds;
    } else if (o.port.empty()) {
        parse.error = "no PORT given";
    }
    return parse;
}

}  // namespace korvel::tools::portcheck
