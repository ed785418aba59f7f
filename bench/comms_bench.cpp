// How long a 9-pin frame takes through the POSIX serial back-end: from the far end of a pty
// through the reader thread, ring and notification to the reader of the port, and from
// commsWrite to the far end.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "comms/comms.h"
#include "comms/notify_queue.h"
#include "comms/port_table.h"
#include "comms/pty_port.h"  // the tests' pty helper
#include "comms/serial_port.h"

namespace {

using namespace korvel::comms;

const std::vector<std::uint8_t> kFrame = {0x61, 0x20, 0x05, 0x86};

// Read size 1, as the VT engine sets it: each byte is one delivery.
void FrameInToReadThroughNotification(benchmark::State& state) {
    testing::LinkFolder links;
    ::setenv("KORVEL_SERIAL_DIR", links.path().c_str(), 1);
    testing::PtyPort far(links, 1);
    SerialPort port;
    NotifyQueue queue;
    if (port.open(1) != 1 || port.setNotifyWindow(&queue, static_cast<int>(state.range(0))) != 1) {
        state.SkipWithError("no port");
        return;
    }
    std::uint8_t buffer[64];
    for (auto _ : state) {
        far.send(kFrame);
        std::size_t got = 0;
        while (got < kFrame.size() && queue.take(1000) != nullptr) {
            got += static_cast<std::size_t>(port.read(buffer, sizeof buffer));
        }
        if (got != kFrame.size()) state.SkipWithError("frame lost");
    }
    port.close();
    resetCommsState();
}
BENCHMARK(FrameInToReadThroughNotification)->Arg(1)->Arg(16)->UseRealTime();

void FrameOutThroughWrite(benchmark::State& state) {
    testing::LinkFolder links;
    ::setenv("KORVEL_SERIAL_DIR", links.path().c_str(), 1);
    testing::PtyPort far(links, 2);
    SerialPort port;
    if (port.open(2) != 1) {
        state.SkipWithError("no port");
        return;
    }
    for (auto _ : state) {
        port.write(kFrame.data(), static_cast<int>(kFrame.size()));
        if (far.receive(kFrame.size()).size() != kFrame.size()) state.SkipWithError("frame lost");
    }
    port.close();
    resetCommsState();
}
BENCHMARK(FrameOutThroughWrite)->UseRealTime();

}  // namespace
