#include "log/trace.h"

#include <cstdarg>
#include <cstdio>

namespace korvel::log {

namespace {

TraceState gTrace;

void show(const char* message) {
    TraceState& t = gTrace;
    const std::uint32_t now = t.tick ? t.tick() : 0;
    // Unsigned difference: correct across the wrap of the tick counter.
    const std::uint32_t interval = now - t.lastTick;
    char line[TraceState::kMaxMessage + 32];
    std::snprintf(line, sizeof line, "%06u:   %.*s", static_cast<unsigned>(interval),
                  TraceState::kMaxMessage, message);
    t.lastTick = now;
    if (t.view == nullptr) return;
    t.view->append(line);
    int count = t.view->count();
    if (count > TraceState::kMaxLines) {
        t.view->deleteFirst();
        --count;
    }
    t.view->scrollTo(count - 1);
}

}  // namespace

TraceState& traceState() {
    return gTrace;
}

void setTracing(bool on) {
    gTrace.enabled = on ? 1 : 0;
}

bool tracing() {
    return gTrace.enabled != 0;
}

void trace(const char* format, ...) {
    if (!gTrace.enabled) return;
    if (format == nullptr) return;
    char message[TraceState::kFormatBuffer];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (n < 0) return;  // an encoding error: nothing sensible to show
    show(message);
}

void traceText(const char* text) {
    if (!gTrace.enabled) return;
    if (text == nullptr) return;
    show(text);
}

}  // namespace korvel::log
