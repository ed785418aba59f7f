#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

namespace korvel::shell {

class MainWindow;

// The program's process-wide values, in one place; tests start clean with
// shellState().reset().
struct ShellState {
    static constexpr int kClassNameSize = 100;

    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    int deviceNumber = 0;
    char className[kClassNameSize] = {};
    std::int32_t workstation = 0;        // read and kept; nothing else uses it
    std::unique_ptr<MainWindow> window;  // the main window's state while it exists
    int hangLimitS = 0;                  // from "HangLimitS": the watchdog's limit, 0 none
    const char* exitReason = nullptr;    // why the window closed, for the exit's events line

    void reset();
};

ShellState& shellState();

// Ends the process-wide state in one order when WinMain returns, whichever way it does: the
// main window's state and the devices it hosts (ports closed, infodrivers told goodbye) go
// while the registries they are in still stand, and the registries are emptied after them.
// Static destruction then finds nothing that refers to anything else.
class ProcessStateOwner {
  public:
    ProcessStateOwner() = default;
    ~ProcessStateOwner();
    ProcessStateOwner(const ProcessStateOwner&) = delete;
    ProcessStateOwner& operator=(const ProcessStateOwner&) = delete;
};

}  // namespace korvel::shell
