#pragma once

// Runs infodriver-emulator.exe (from the test program's folder, or from the one that
// KORVEL_EMULATOR_FOLDER names) as a child process with
// pipes on its standard input and output, for tests that talk to it as the driver would.
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/infodriver/line_protocol.h"

namespace korvel::sim::testing {

// The folder of the running program, with a trailing backslash.
std::string programFolder();

// The folder named by the environment variable (a path ending in a separator), or the
// program's folder when it is not set: how a test run picks another build's programs (a
// 32-bit driver with a 64-bit infodriver emulator, as sites have them).
std::string folderFromEnvironment(const char* variable);

class EmulatorProcess {
  public:
    // Starts the emulator with these arguments and waits for its "ready" line.
    explicit EmulatorProcess(const std::string& arguments);
    // Quits the emulator (ends it if it does not go).
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    bool ready() const { return ready_; }
    DWORD processId() const { return processId_; }

    void send(const std::string& line);

    // Waits for a printed event of this name that matches, and takes it: every line is taken
    // at most once. While it waits, this thread's window messages are handled, so a window
    // of this thread can answer the emulator.
    std::optional<EventRecord> waitFor(const std::string& event,
                                       const std::function<bool(const EventRecord&)>& match = {},
                                       DWORD timeoutMs = 5000);

    // Sends "ping" and waits for its answer: every command before it has been handled.
    bool sync(DWORD timeoutMs = 5000);

    // Lines of this event not taken yet.
    std::vector<EventRecord> untaken(const std::string& event);

    // Sends "quit" and waits until the process has ended; true when it ended by itself.
    bool quit(DWORD timeoutMs = 5000);
    // Ends the process at once, as a crash would: it says nothing to anybody.
    void kill();

  private:
    struct Line {
        EventRecord record;
        bool taken = false;
    };

    void readOutput();

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HANDLE input_ = nullptr;   // our end of its standard input
    HANDLE output_ = nullptr;  // our end of its standard output
    HANDLE lineArrived_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<Line> lines_;
    int pings_ = 0;
    bool ready_ = false;
};

// Handles this thread's pending window messages, for at most the given time.
void pumpMessages(DWORD milliseconds);

}  // namespace korvel::sim::testing
