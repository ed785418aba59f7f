#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace korvel::shell {

// The exit code of a driver ended by its hang watchdog: "HANG" in ASCII.
inline constexpr DWORD kHangExitCode = 0x48414E47;

// The main thread's heartbeat: the message loop and the window's timers beat it, so that a
// modal box, which runs a loop of its own and still dispatches the timers, is no hang.
void heartbeat();

// Watches the heartbeat on a thread of its own. When it has not moved for limitSeconds,
// the watchdog calls onHang once (on its own thread), which is expected to leave the
// evidence and end the process. limitSeconds 0 watches nothing.
class HangWatchdog {
  public:
    using HangAction = void (*)(unsigned limitSeconds);

    HangWatchdog(unsigned limitSeconds, HangAction onHang);
    ~HangWatchdog();
    HangWatchdog(const HangWatchdog&) = delete;
    HangWatchdog& operator=(const HangWatchdog&) = delete;

  private:
    static DWORD WINAPI run(void* self);

    unsigned limitSeconds_;
    HangAction onHang_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
};

}  // namespace korvel::shell
