#pragma once

#include <string>
#include <vector>

#include "tools/portcheck/line_setting.h"

namespace korvel::tools::portcheck {

struct Options {
    std::string port;  // "COMn", or (POSIX) a device path
    bool all = false;  // every port of the system instead of one
    LineSetting line;
    int count = 10;       // rounds of the three questions (2 for every port, unless given)
    int timeoutMs = 250;  // the driver's TxTimeoutmS
    bool tryOthers = true;
    bool help = false;
};

struct OptionsParse {
    Options options;
    std::string error;  // empty when the arguments are good
};

OptionsParse parseOptions(const std::vector<std::string>& arguments);

// The port number of "COMn" (any case, 1 to 256); 0 when the text is not one.
int comPortNumber(const std::string& name);

extern const char* const kHelp;

}  // namespace korvel::tools::portcheck
