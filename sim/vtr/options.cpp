#include "sim/vtr/options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "sim/vtr/timecode.h"

namespace korvel::sim::vtr {

namespace {

// N bytes as 2N hexadecimal digits, in the order given: "2125" is 21 25.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> hexBytes(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.size() != 2 * N || ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (N - 1 - i)));
    return bytes;
}

std::optional<int> count(std::string_view text, int limit) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 0 || value > limit)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<PortOption> parseDeviceSpec(std::string_view text, std::string& error) {
    PortOption portOption;
    portOption.device = true;
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma == text.npos ? text.npos : comma - start));
        if (comma == text.npos) break;
        start = comma + 1;
    }
    portOption.path = fields[0];
    const auto number = [](std::string_view field, int low, int high, int& value) {
        const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
        return ec == std::errc{} && end == field.data() + field.size() && value >= low &&
               value <= high;
    };
    bool good = !portOption.path.empty() && fields.size() <= 5;
    if (good && fields.size() > 1) good = number(fields[1], 50, 4'000'000, portOption.line.speed);
    if (good && fields.size() > 2) good = number(fields[2], 5, 8, portOption.line.dataBits);
    if (good && fields.size() > 3) {
        good = fields[3].size() == 1 &&
               std::string_view("NOEMSnoems").find(fields[3][0]) != std::string_view::npos;
        if (good) portOption.line.parity = static_cast<char>(std::toupper(fields[3][0]));
    }
    if (good && fields.size() > 4) good = number(fields[4], 1, 2, portOption.line.stopBits);
    if (!good) {
        error = "--port takes DEVICE[,SPEED[,DATA BITS[,PARITY N/O/E/M/S[,STOP BITS]]]], not \"" +
                std::string(text) + "\"";
        return std::nullopt;
    }
    return portOption;
}

OptionsParse parseOptions(std::span<const std::string_view> args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) return {std::nullopt, std::string(name) + " needs a value"};
            value = args[++i];
        }
        if (name == "--link" || name == "--port") {
            PortOption portOption;
            if (name == "--link") {
                if (value->empty()) return {std::nullopt, "--link needs a path"};
                portOption.path = *value;
                if (value->find(',') != std::string_view::npos) {
                    std::string error;
                    const auto withLine = parseDeviceSpec(*value, error);
                    if (!withLine)
                        return {std::nullopt,
                                "--link takes PATH[,SPEED[,DATA BITS[,PARITY N/O/E/M/S[,STOP "
                                "BITS]]]], not \"" +
                                    std::string(*value) + "\""};
                    portOption = *withLine;
                    portOption.device = false;
                    portOption.linkLine = true;
                }
            } else {
                std::string error;
                const auto device = parseDeviceSpec(*value, error);
                if (!device) return {std::nullopt, error};
                portOption = *device;
            }
            // Two decks on one port would leave one of them unreachable.
            for (const PortOption& other : options.ports)
                if (other.path == portOption.path)
                    return {std::nullopt,
                            std::string(name) + " " + portOption.path + " is given twice"};
            options.ports.push_back(std::move(portOption));
        } else if (name == "--control") {
            options.controlPath = *value;
        } else if (name == "--log") {
            options.logPath = *value;
        } else if (name == "--command") {
            options.commands.emplace_back(*value);
        } else if (name == "--start-tc") {
            const auto frames = parseTimecode(*value);
            if (!frames) return {std::nullopt, "--start-tc takes HH:MM:SS:FF"};
            options.deck.transport.startFrames = *frames;
        } else if (name == "--model") {
            const auto model = hexBytes<2>(*value);
            if (!model) return {std::nullopt, "--model takes four hexadecimal digits, e.g. 2125"};
            options.deck.model = *model;
        } else if (name == "--user-bits") {
            const auto bits = hexBytes<4>(*value);
            if (!bits) return {std::nullopt, "--user-bits takes eight hexadecimal digits"};
            options.deck.userBits = *bits;
        } else if (name == "--cue-speed") {
            const auto speed = count(*value, 100);
            if (!speed) return {std::nullopt, "--cue-speed takes times play speed, 0 to 100"};
            options.deck.transport.cueSpeed = *speed;
        } else if (name == "--lock-frames") {
            const auto frames = count(*value, 250);
            if (!frames) return {std::nullopt, "--lock-frames takes frames, 0 to 250"};
            options.deck.transport.lockFrames = *frames;
        } else if (name == "--cue-time" || name == "--byte-timeout") {
            const auto ms = count(*value, 60'000);
            if (!ms) return {std::nullopt, std::string(name) + " takes milliseconds, 0 to 60000"};
            const std::chrono::microseconds duration = std::chrono::milliseconds(*ms);
            if (name == "--cue-time")
                options.deck.transport.cueTime = duration;
            else
                options.deck.byteTimeout = duration;
        } else {
            return {std::nullopt, "unknown option " + std::string(name)};
        }
    }
    if (options.ports.empty() && !options.help)
        return {std::nullopt, "at least one --link PATH or --port DEVICE is needed"};
    return {std::move(options), {}};
}

const char* helpText() {
    return R"(Usage: vtr-emulator (--link PATH | --port DEVICE) ... [options]

Emulates Sony 9-pin (RS-422) video tape machines, one per --link or --port.
A --link deck sits on a pseudo-terminal in raw mode: PATH becomes a symbolic
link to it (a stale link is replaced); point a controller, or a wine COM port
such as $WINEPREFIX/dosdevices/com20, at it (Linux only). A --port deck
answers on an existing serial device, e.g. an RS-422 adapter wired to the
driver's PC: /dev/ttyUSB0 on Linux, COM5 on Windows; a device that is missing
or unplugged is logged and tried again every second. Runs until SIGINT or
SIGTERM (Ctrl-C), then removes its links.

Options:
  --link PATH[,SPEED[,DATA[,PARITY[,STOP]]]]
                        add a deck whose port is linked at PATH; given line
                        settings, a controller on others (speed, odd parity or
                        not, stop bits) gets bytes that make no frame, both ways
  --port DEVICE[,SPEED[,DATA[,PARITY[,STOP]]]]
                        add a deck on the serial device DEVICE (/dev/ttyUSB0,
                        COM5), with the driver's line settings unless given:
                        38400 bit/s, 8 data bits, parity O (N, O, E, M, S),
                        1 stop bit; e.g. /dev/ttyS0,9600,8,N,1
                        (decks are numbered 1, 2, ... in the order given)
  --control PATH        read control lines from PATH: on Linux a FIFO (made
                        if missing, removed at exit if made here), on Windows
                        a named pipe such as \\.\pipe\decks (made here)
  --log FILE            write the log to FILE (emptied at start) instead of
                        standard output
  --command LINE        apply a control line at start (repeatable)
  --start-tc TC         tape position at start, HH:MM:SS:FF (10:00:00:00)
  --cue-time MS         how long a cue or preroll settles at its point (500)
  --cue-speed X         a cue winds to its point at X times play speed, so a
                        far cue takes longer (30); 0: every cue takes
                        --cue-time whatever the distance
  --lock-frames N       play and servo lock are reported N frames after a play
                        or record command (5)
  --byte-timeout MS     a pause this long abandons an incomplete frame (10)
  --model XXYY          the two bytes answered to the device type request
                        00 11, in hexadecimal (2125)
  --user-bits XXXXXXXX  the tape's user bits, in hexadecimal (00000000)
  --help                show this text

Control lines (--control, --command, and on Windows standard input too, where
"quit" ends the emulator); N is a deck number or "all":
  deck N fault silent         receive, never answer
  deck N fault corrupt        answer with wrong checksums
  deck N fault nak COUNT [EE] NAK the next COUNT commands (error byte EE hex, 04)
  deck N fault garbage [K]    send K random bytes before each reply (4)
  deck N fault split [MS]     send each reply in two writes MS apart (5)
  deck N fault delay MS       send each reply MS late
  deck N fault closed         close the port: the link and device vanish
  deck N fault echo           every byte received goes straight back (TX and RX joined)
  deck N fault invert         every byte sent goes out inverted (A/B of a pair swapped)
  deck N clear                end all faults (reopens a closed port)
  deck N local on|off         front-panel local mode: transport commands ignored
  deck N tape in|out          insert or remove the tape
  deck N inhibit on|off       record inhibit
  deck N show                 write the deck's state to the log (event "state")

Log: one line per event, "SECONDS.MICROS DECK EVENT DETAIL", monotonic clock,
deck 0 for the emulator itself. Events: rx (good frame), bad (checksum
failure, NAKed), timeout (incomplete frame, NAKed), drop (bytes skipped),
tx (bytes written), txerr, open (port linked or device opened), closed,
error (a device that cannot be opened, retried), ctl (control line
applied), ctlerr (control line refused), state, start, stop.
)";
}

CommandLine readCommandLine(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    OptionsParse parse = parseOptions(args);
    if (!parse.options) {
        std::fprintf(stderr, "vtr-emulator: %s\n(--help shows the options)\n", parse.error.c_str());
        return {std::nullopt, 2};
    }
    if (parse.options->help) {
        std::fputs(helpText(), stdout);
        return {std::nullopt, 0};
    }
    return {std::move(parse.options), 0};
}

}  // namespace korvel::sim::vtr
