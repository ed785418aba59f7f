#pragma once

// What a report says of the PC it ran on and of the programs it ran: what wine or another PC
// would hide, and what someone helping from afar asks first.
#include <string>
#include <vector>

#include "tools/portcheck/port_list.h"

namespace korvel::tools::rehearse {

// "Windows 10 Pro 22H2 (version 10.0, build 19045.3693)", as far as Windows says.
std::string windowsDescription();
// "64-bit Windows (x64); this program is the 64-bit build".
std::string architectureDescription();
// "2026-12-09 14:05:31 local time (UTC+01:00)"; and "20261209-140531" for file names.
std::string localTimeText();
std::string localTimeStamp();
// One line for a program file: its version (when it has one), size, time and SHA-256.
std::string programDescription(const std::string& path);
// One line for a port: the adapter, its driver's maker and an FTDI latency timer, as
// Windows lists them.
std::string portDescription(int number, const std::vector<portcheck::ListedPort>& listed);
// What a port answers to an open: empty when it opens (and is closed again), else why not.
std::string portUnusableReason(int number);

}  // namespace korvel::tools::rehearse
