// vtr-emulator: Sony 9-pin video tape machines on pseudo-terminals, for testing controllers.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sim/vtr/emulator.h"
#include "sim/vtr/options.h"
#include "sim/vtr/wire_log.h"

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(stopPipe[1], &byte, 1);
}

bool installStopSignals() {
    if (pipe(stopPipe) != 0) return false;
    for (int fd : stopPipe) fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0)
        return false;
    signal(SIGPIPE, SIG_IGN);  // a vanished reader is an error return, not the end
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvel::sim::vtr;
    const CommandLine commandLine = readCommandLine(argc, argv);
    if (!commandLine.options) return commandLine.exitCode;
    const Options& options = *commandLine.options;

    std::FILE* out = openLogFile(options.logPath);
    if (out == nullptr) return 1;
    if (!installStopSignals()) {
        std::perror("vtr-emulator: signals");
        return 1;
    }

    WireLog log(out);
    Emulator emulator(options, log);
    std::string error;
    int status = 0;
    if (emulator.start(error)) {
        emulator.run(stopPipe[0]);
    } else {
        std::fprintf(stderr, "vtr-emulator: %s\n", error.c_str());
        status = 1;
    }
    emulator.shutdown();
    if (out != stdout) std::fclose(out);
    return status;
}
