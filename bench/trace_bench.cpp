// What a trace call costs on the reply path: with tracing off it must be no more than the
// test of the flag; with it on, the formatting and the list.
#include <benchmark/benchmark.h>

#include "log/trace.h"
#include "support/memory_trace_view.h"

namespace {

using korvel::log::trace;
using korvel::log::traceState;

void TraceOff(benchmark::State& state) {
    traceState() = {};
    for (auto _ : state) {
        trace("Read[vt%d] %02X %02X %02X ", 1, 0x10, 0x01, 0x11);
    }
}
BENCHMARK(TraceOff);

void TraceOnIntoAFullList(benchmark::State& state) {
    korvel::testing::MemoryTraceView view;
    traceState() = {};
    traceState().view = &view;
    traceState().enabled = 1;
    for (auto _ : state) {
        trace("Read[vt%d] %02X %02X %02X ", 1, 0x10, 0x01, 0x11);
    }
    traceState() = {};
}
BENCHMARK(TraceOnIntoAFullList);

}  // namespace
