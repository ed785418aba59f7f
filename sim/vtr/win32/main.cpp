// vtr-emulator.exe: Sony 9-pin video tape machines on COM ports, for commissioning a site
// before its machines are there, or for testing controllers.

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/vtr/deck_rack.h"
#include "sim/vtr/options.h"
#include "sim/vtr/win32/com_deck_port.h"
#include "sim/vtr/win32/control_lines.h"
#include "sim/vtr/wire_log.h"

namespace {

using namespace korvel::sim::vtr;

// The longest the loop sleeps: each pass looks at every port's device.
constexpr int kLookAtPortsMs = 1000;

ControlInbox gInbox;

// On a reader thread of the serial library: bytes wait in a port's ring.
void onBytes(korvel::comms::SerialPort*) {
    gInbox.wake();
}

BOOL WINAPI onConsoleEvent(DWORD) {
    gInbox.stop();
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = readCommandLine(argc, argv);
    if (!commandLine.options) return commandLine.exitCode;
    const Options& options = *commandLine.options;
    for (const PortOption& portOption : options.ports) {
        if (!portOption.device) {
            std::fprintf(stderr,
                         "vtr-emulator: --link makes a pseudo-terminal, which Windows has not; "
                         "use --port COMn\n");
            return 2;
        }
        if (ComDeckPort::portNumberOf(portOption.path) == 0) {
            std::fprintf(stderr, "vtr-emulator: --port %s: the port is COM1 to COM256\n",
                         portOption.path.c_str());
            return 2;
        }
    }

    std::FILE* out = openLogFile(options.logPath);
    if (out == nullptr) return 1;
    WireLog log(out);
    DeckRack rack(options, log, [](const PortOption& portOption) -> std::unique_ptr<DeckPort> {
        return std::make_unique<ComDeckPort>(portOption.path, portOption.line, &onBytes);
    });

    std::string error;
    int status = 0;
    if (!options.controlPath.empty() && !gInbox.servePipe(options.controlPath, error)) {
        std::fprintf(stderr, "vtr-emulator: %s\n", error.c_str());
        status = 1;
    } else if (!rack.start(error)) {
        std::fprintf(stderr, "vtr-emulator: %s\n", error.c_str());
        status = 1;
    } else {
        SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
        gInbox.readStandardInput();
        while (!gInbox.stopping()) {
            rack.service();
            for (std::size_t i = 0; i < rack.size(); ++i) rack.readPort(i);
            rack.service();  // replies due at once go now
            // Awake at least once a second, so a port whose adapter was pulled is noticed.
            const int due = rack.waitMs();
            const int wait = due < 0 || due > kLookAtPortsMs ? kLookAtPortsMs : due;
            for (const std::string& line : gInbox.wait(wait)) {
                if (line == "quit")
                    gInbox.stop();
                else
                    rack.controlLine(line);
            }
        }
    }
    rack.shutdown();
    if (out != stdout) std::fclose(out);
    return status;
}
