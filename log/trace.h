#pragma once

#include <cstdint>

#include "log/printf_format.h"
#include "log/tick.h"
#include "log/trace_view.h"

namespace korvel::log {

// The debug trace: numbered lines in the main window's list, each prefixed with the
// milliseconds since the previous line shown.
struct TraceState {
    static constexpr int kMaxLines = 500;
    static constexpr int kMaxMessage = 160;
    static constexpr int kFormatBuffer = 2048;

    int enabled = 0;                             // the "DebugMode" flag: 1 on, 0 off
    std::uint32_t lastTick = 0;                  // tick of the last line shown
    TraceView* view = nullptr;                   // lines go nowhere without a view
    std::uint32_t (*tick)() = &millisecondTick;  // replaced by tests with a manual clock
};

// The process's one trace; tests reset it with traceState() = TraceState{}.
TraceState& traceState();

void setTracing(bool on);
bool tracing();

// Formats with printf rules and shows the line while tracing is on; while it is off the
// whole cost is the test of the flag. Messages over 160 characters are cut.
void trace(const char* format, ...) KORVEL_PRINTF_FORMAT(1, 2);

// Shows a text that is already formatted (it may hold '%' signs).
void traceText(const char* text);

}  // namespace korvel::log
