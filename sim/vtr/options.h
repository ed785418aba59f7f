#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/vtr/deck.h"

namespace korvel::sim::vtr {

struct Options {
    std::vector<std::string> links;     // one deck per link, numbered from 1
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

}  // namespace korvel::sim::vtr
