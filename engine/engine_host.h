#pragma once

#include <cstdint>

namespace korvel::engine {

// The fields of the status panel, by what they show. The main window maps them to its
// controls.
enum PanelField : int {
    kCommsField,         // a VT's communication state: "OK", "!! tFAIL !!", ...
    kTransportField,     // a VT's transport state
    kLastCommandField,   // the last command sent to a VT
    kTxCountField,       // bytes sent to a VT's machine
    kRxCountField,       // bytes received from it
    kInfodriverTxField,  // slot writes of all VTs
    kInfodriverRxField,  // slot changes of all VTs
};

// What the engine asks of the main window: its timers, its status panel, its message boxes
// and its end. The main window implements it; tests use a fake with a manual clock.
class EngineHost {
  public:
    virtual ~EngineHost() = default;

    // Starts (or restarts) the timer with this id; false when it could not be started.
    virtual bool setTimer(int id, std::uint32_t periodMs) = 0;
    virtual void killTimer(int id) = 0;
    // Sets the text of a status-panel field: of VT vtNumber, or of the whole program (the
    // infodriver counters) with vtNumber 0.
    virtual void setPanelText(PanelField field, int vtNumber, const char* text) = 0;
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

}  // namespace korvel::engine
