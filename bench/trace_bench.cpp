// What a trace call costs on the reply path: with tracing off it must be no more than the
// test of the flag; with it on, the formatting and the list.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "log/trace.h"

namespace {

using korvel::log::trace;
using korvel::log::traceState;

class CountingView final : public korvel::log::TraceView {
public:
    void append(const char* line) override { lines.emplace_back(line); }
    int count() const override { return static_cast<int>(lines.size()); }
    void deleteFirst() override { lines.erase(lines.begin()); }
    void scrollTo(int) override {}
    std::vector<std::string> lines;
};

void TraceOff(benchmark::State& state) {
    traceState() = {};
    for (auto _ : state) {
        trace("Read[vt%d] %02X %02X %02X ", 1, 0x10, 0x01, 0x11);
    }
}
BENCHMARK(TraceOff);

void TraceOnIntoAFullList(benchmark::State& state) {
    CountingView view;
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
