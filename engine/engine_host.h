#pragma once

#include <cstdint>

namespace korvel::engine {

// What the engine asks of the main window: its timers, its status panel, its message boxes
// and its end. The main window implements it; tests use a fake with a manual clock.
class EngineHost {
  public:
    virtual ~EngineHost() = default;

    // Starts (or restarts) the timer with this id; false when it could not be started.
    virtual bool setTimer(int id, std::uint32_t periodMs) = 0;
    virtual void killTimer(int id) = 0;
    // Sets the text of a status-panel field.
    virtual void setPanelText(int controlId, const char* text) = 0;
    // Shows the traffic counters of every VT again; once per poll round.
    virtual void refreshCounters() = 0;
    // A timed error box owned by the main window.
    virtual void showError(const char* text) = 0;
    // Text for a debugger attached to the process, not for the trace list.
    virtual void debugOutput(const char* text) = 0;
    // A line of serial traffic for the disk log; dropped while the log is off.
    virtual void logTraffic(const char* text) = 0;
    // Ends the program once the message being handled is done.
    virtual void requestClose() = 0;
};

// Timer ids on the main window.
inline constexpr int kTxTimeoutTimerBase = 20;  // + VT number: transmit time-out
inline constexpr int kTimecodeTimerBase = 30;   // + VT number: timecode poll
inline constexpr int kPollTimerId = 40;         // one VT visited per tick
inline constexpr std::uint32_t kPollPeriodMs = 125;

// Status-panel fields of a VT: control id base + VT number.
inline constexpr int kCommsFieldBase = 2100;
inline constexpr int kTransportFieldBase = 2200;
inline constexpr int kLastCommandFieldBase = 2300;

}  // namespace korvel::engine
