// The engine's hot paths: the replies of a polled machine through the drain, assembler and
// decoder (a byte lasts about 286 us on the line at 38400 bit/s; the engine should need
// well under 100 ns), and a slot-1 text turned into a frame (well under 2 us).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/device_list.h"
#include "engine/null_host.h"
#include "engine/vt_device.h"
#include "log/trace.h"
#include "support/fuzz_inputs.h"
#include "support/memory_trace_view.h"

namespace {

using korvel::engine::EngineHost;
using korvel::engine::VtDevice;
using korvel::testing::Bytes;

// A lean stand-in, so that the figures are the engine's and not a recording fake's.
class ReplayPort final : public korvel::engine::VtSerial {
  public:
    void setSpeed(int) override {}
    void setDataBits(int) override {}
    void setStopBits(int) override {}
    void setParity(int) override {}
    int open(int) override { return 1; }
    void close() override {}
    bool lost() const override { return false; }
    int setNotifyWindow(int) override { return 1; }
    int write(const std::uint8_t*, int length) override { return length; }
    // Hands out the bytes of the current burst.
    int read(std::uint8_t* buffer, int maximum) override {
        int count = static_cast<int>(burst.size() - at);
        if (count > maximum) count = maximum;
        std::memcpy(buffer, burst.data() + at, static_cast<std::size_t>(count));
        at += static_cast<std::size_t>(count);
        return count;
    }
    int purge(int) override { return 1; }
    std::uint32_t errorWord() override { return 0; }
    std::uintptr_t identity() const override { return reinterpret_cast<std::uintptr_t>(this); }

    Bytes burst;
    std::size_t at = 0;
};

class LatestSlots final : public korvel::engine::VtSlots {
  public:
    int connect(std::uint32_t) override { return 15; }
    std::uint32_t deviceNumber() const override { return 1; }
    std::int32_t status() const override { return 15; }
    void setCounters(std::uint32_t*, std::uint32_t*) override {}
    void writeSlot(std::int32_t index, const char* text) override { slots[index] = text; }
    bool writeSlotIfChanged(std::int32_t index, const char* text) override {
        std::string& value = slots[index];
        if (value == text) return false;
        value = text;
        return true;
    }
    bool peerGone() override { return false; }
    std::uintptr_t identity() const override { return reinterpret_cast<std::uintptr_t>(this); }

    std::map<std::int32_t, std::string> slots;
};

class LeanParts final : public korvel::engine::VtPartsFactory {
  public:
    std::unique_ptr<korvel::engine::VtSerial> makeSerial() override {
        auto port = std::make_unique<ReplayPort>();
        serial = port.get();
        return port;
    }
    std::unique_ptr<korvel::engine::VtSlots> makeSlots() override {
        return std::make_unique<LatestSlots>();
    }
    ReplayPort* serial = nullptr;
};

// One set-up VT1 with its first requests answered: idle, as between polls.
struct Engine {
    explicit Engine(bool tracing) {
        korvel::engine::engineState() = {};
        korvel::engine::engineState().host = &host;
        korvel::log::traceState() = {};
        korvel::log::traceState().view = &view;
        korvel::log::setTracing(tracing);
        vt = std::make_unique<VtDevice>(1, 1, parts);
        vt->setup(1, 38400, 8, 1, 0, host);
        feed({0x10, 0x01, 0x11, 0x10, 0x01, 0x11});
    }
    ~Engine() {
        vt.reset();
        korvel::engine::engineState() = {};
        korvel::log::traceState() = {};
    }
    void feed(const Bytes& bytes) {
        parts.serial->burst = bytes;
        parts.serial->at = 0;
        vt->onSerialData(nullptr);
    }

    korvel::engine::NullHost host{true};
    LeanParts parts;
    korvel::testing::MemoryTraceView view;
    std::unique_ptr<VtDevice> vt;
};

// The replies of one poll round: an acknowledgement, a five-byte status (playing), and a
// timecode whose frames count on, so that slot 11 changes every time as on a playing deck.
// viaDrain false hands the bytes to the assembler directly, without the drain's read and
// its "Read[vt1] ..." line, to show what the line's formatting costs.
void PolledReplies(benchmark::State& state, bool tracing, bool viaDrain) {
    Engine engine(tracing);
    const Bytes ack{0x10, 0x01, 0x11};
    const Bytes status = korvel::testing::framed({0x75, 0x20, 0x20, 0x01, 0x00, 0x00, 0x00});
    Bytes burst = ack;
    burst.insert(burst.end(), status.begin(), status.end());
    const std::size_t timecodeAt = burst.size();
    burst.insert(burst.end(), {0x74, 0x04, 0x00, 0x30, 0x12, 0x10, 0x00});
    std::uint8_t frames = 0;
    for (auto _ : state) {
        frames = static_cast<std::uint8_t>((frames + 1) % 25);
        burst[timecodeAt + 2] = static_cast<std::uint8_t>((frames / 10) * 16 + frames % 10);
        burst.back() = korvel::testing::sum8(burst.data() + timecodeAt, 6);
        if (viaDrain) {
            engine.feed(burst);
        } else {
            for (std::uint8_t byte : burst) engine.vt->feedByte(byte);
        }
    }
    const auto bytes = static_cast<double>(burst.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * burst.size()));
    state.counters["per_byte"] = benchmark::Counter(
        bytes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    if (engine.vt->commsFailed || engine.vt->txQueueCount != 0) state.SkipWithError("not decoded");
}
BENCHMARK_CAPTURE(PolledReplies, trace_off, false, true);
BENCHMARK_CAPTURE(PolledReplies, trace_on, true, true);
BENCHMARK_CAPTURE(PolledReplies, assembler_only, false, false);

// A slot-1 text to a frame. On an idle line the frame is written at once (with its trace
// text); on a busy one it is only queued. The queue is emptied again after each command.
void SlotCommand(benchmark::State& state, const char* text, bool busyLine) {
    Engine engine(false);
    VtDevice& vt = *engine.vt;
    std::uint32_t frames = 0;
    for (auto _ : state) {
        vt.txQueueCount = busyLine ? 1 : 0;
        vt.awaitingReply = busyLine;
        vt.onInfodriverEvent(nullptr, 1, text);
        frames += vt.txQueueCount;
    }
    benchmark::DoNotOptimize(frames);
    if (frames == 0) state.SkipWithError("nothing queued");
}
BENCHMARK_CAPTURE(SlotCommand, play_idle_line, "2", false);
BENCHMARK_CAPTURE(SlotCommand, shuttle_idle_line, "8,-20", false);
BENCHMARK_CAPTURE(SlotCommand, play_busy_line, "2", true);
BENCHMARK_CAPTURE(SlotCommand, shuttle_busy_line, "8,-20", true);

}  // namespace
