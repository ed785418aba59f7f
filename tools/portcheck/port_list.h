#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvel::tools::portcheck {

// A serial port the system lists, with what it says about the adapter behind it.
struct ListedPort {
    int number = 0;       // COMn
    std::string adapter;  // the device's friendly name, e.g. "USB Serial Port (COM5)"; may be empty
    std::string maker;    // the driver's manufacturer, e.g. "FTDI"; may be empty
    std::optional<int> latencyTimerMs;  // an FTDI adapter's latency timer, when it has one
};

// The serial ports Windows lists (the serial device map, with the names of the devices that
// carry a port name); none elsewhere. A list can miss ports: the survey tries every number too.
std::vector<ListedPort> listSystemPorts();

// The port numbers to try: the listed ones and 1 to 256, each once, in order.
std::vector<int> portsToTry(const std::vector<ListedPort>& listed);

}  // namespace korvel::tools::portcheck
