#include "tools/rehearse/rehearsal_options.h"

#include <cstdlib>

#include "tools/portcheck/options.h"

namespace korvel::tools::rehearse {
namespace {

// A whole decimal number within the range; false when the text is anything else.
bool readNumber(const std::string& text, int minimum, int maximum, int& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    const int number = std::atoi(text.c_str());
    if (number < minimum || number > maximum) return false;
    value = number;
    return true;
}

}  // namespace

const char* const kRehearsalHelp =
    "usage: korvel-rehearse COMa COMb [--vts N] [--unattended] [--report FILE]\n"
    "                       [--device N] [--keep]\n"
    "\n"
    "Runs the real driver end to end on this PC: the driver on COMa, an emulated deck on\n"
    "COMb, the two joined by a cable (a null-modem / RS-422 crossover between two adapters)\n"
    "or a virtual port pair, and an emulated infodriver writing the slots as the control\n"
    "system would. Each step prints PASS, FAIL or SKIP; a report for the site's records (and\n"
    "for asking for help) is written at the end. Nothing of the site's settings or logs is\n"
    "touched: everything runs in a temporary folder of its own, removed at the end.\n"
    "\n"
    "  --vts N        rehearse N VTs (1 to 9): VT k on COM(a+k-1), its deck on COM(b+k-1)\n"
    "  --unattended   skip the step that asks you to pull the cable and plug it back\n"
    "  --report FILE  where the report goes (default korvel-rehearsal-DATE-TIME.txt here)\n"
    "  --device N     the first infodriver device number (default 9001)\n"
    "  --keep         keep the temporary folder (its path is printed)\n"
    "\n"
    "Exit code: 0 every step passed or was skipped, 1 a step failed, 2 a bad command line,\n"
    "3 the rehearsal could not start (a driver is running, a port is missing or in use).\n";

RehearsalOptionsParse parseRehearsalOptions(const std::vector<std::string>& arguments) {
    RehearsalOptionsParse parse;
    RehearsalOptions& options = parse.options;
    std::vector<std::string> ports;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "-h" || argument == "--help" || argument == "/?") {
            options.help = true;
            return parse;
        } else if (argument == "--unattended") {
            options.unattended = true;
        } else if (argument == "--keep") {
            options.keep = true;
        } else if (argument == "--vts") {
            if (!hasValue || !readNumber(arguments[++i], 1, kMaxVts, options.vts)) {
                parse.error = "--vts takes a number of VTs, 1 to 9";
                return parse;
            }
        } else if (argument == "--device") {
            // The driver's base device number, and the eight after it, in 32 bits.
            if (!hasValue || !readNumber(arguments[++i], 1, 999999999, options.device)) {
                parse.error = "--device takes an infodriver device number, 1 to 999999999";
                return parse;
            }
        } else if (argument == "--report") {
            if (!hasValue || arguments[i + 1].empty()) {
                parse.error = "--report takes a file name";
                return parse;
            }
            options.reportPath = arguments[++i];
        } else if (!argument.empty() && argument[0] == '-') {
            parse.error = "unknown option " + argument;
            return parse;
        } else {
            ports.push_back(argument);
        }
    }
    if (ports.size() != 2) {
        parse.error = "give two ports, the driver's and the deck's, e.g. COM3 COM4";
        return parse;
    }
    options.driverPort = portcheck::comPortNumber(ports[0]);
    options.deckPort = portcheck::comPortNumber(ports[1]);
    for (int k = 0; k < 2; ++k) {
        const int first = k == 0 ? options.driverPort : options.deckPort;
        if (first == 0) {
            parse.error = ports[k] + " is not a port name: COM1 to COM256";
            return parse;
        }
        if (first + options.vts - 1 > 256) {
            parse.error = ports[k] + " and the " + std::to_string(options.vts - 1) +
                          " after it: the last port is COM256";
            return parse;
        }
    }
    const int gap = options.deckPort - options.driverPort;
    if (gap > -options.vts && gap < options.vts) {
        parse.error = options.vts == 1 ? "the driver's and the deck's port must differ"
                                       : "the driver's ports and the deck's ports overlap";
        return parse;
    }
    return parse;
}

}  // namespace korvel::tools::rehearse
