#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/vtr/deck.h"

namespace korvel::sim::vtr {

// A serial line's settings; the driver's own by default.
struct LineSettings {
    int speed = 38400;
    int dataBits = 8;
    char parity = 'O';  // N, O, E, M or S
    int stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

// Where a deck is served: a pseudo-terminal behind a link made at `path`, or the existing
// serial device at `path` with its line settings.
struct PortOption {
    bool device = false;
    std::string path;
    LineSettings line;
    // A pseudo-terminal given line settings: a controller on other settings gets what a real
    // line gives it then, bytes that make no frame, both ways.
    bool linkLine = false;
    bool operator==(const PortOption&) const = default;
};

// "DEVICE[,SPEED[,DATA[,PARITY[,STOP]]]]", e.g. "/dev/ttyUSB0,9600,8,N,1"; none when wrong.
std::optional<PortOption> parseDeviceSpec(std::string_view text, std::string& error);

struct Options {
    std::vector<PortOption> ports;        // one deck per port, numbered from 1 in this order
    std::string controlPath;            // the control FIFO; empty: none
    std::string logPath;                // empty: standard output
    std::vector<std::string> commands;  // control lines applied at start
    DeckSettings deck;                  // every deck starts the same
    bool help = false;
};

struct OptionsParse {
    std::optional<Options> options;
    std::string error;
};

// The arguments after the program name.
OptionsParse parseOptions(std::span<const std::string_view> args);

const char* helpText();

// The command line as the emulator's programs take it: the options to run with, or none when
// the start ends here (--help printed: exit code 0; an error printed: exit code 2).
struct CommandLine {
    std::optional<Options> options;
    int exitCode = 0;
};
CommandLine readCommandLine(int argc, char** argv);

}  // namespace korvel::sim::vtr
