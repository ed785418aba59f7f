// infodriver-emulator.exe [--precise-time] <device>|<first>-<last> ...
// Serves the given infodriver device numbers to the driver; commands on standard input,
// events on standard output (see README.md beside this file).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "sim/infodriver/emulator.h"
#include "sim/infodriver/line_protocol.h"

int main(int argc, char** argv) {
    // Lines end in "\n" alone, whatever reads them.
    _setmode(_fileno(stdout), _O_BINARY);

    std::vector<std::string> arguments(argv + 1, argv + argc);
    bool preciseTime = false;
    if (!arguments.empty() && arguments.front() == "--precise-time") {
        preciseTime = true;
        arguments.erase(arguments.begin());
    }
    std::string error;
    const auto devices = korvel::sim::parseDeviceArguments(arguments, error);
    if (!devices) {
        std::fprintf(stderr,
                     "infodriver-emulator: %s\n"
                     "usage: infodriver-emulator [--precise-time] <device>|<first>-<last> ...\n",
                     error.c_str());
        return 2;
    }

    korvel::sim::Emulator emulator(*devices, preciseTime);
    if (!emulator.start()) return 1;

    // The reader only posts; it is left blocked in its read when the program ends.
    std::thread(korvel::sim::readInputLines, emulator.controlWindow()).detach();

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
