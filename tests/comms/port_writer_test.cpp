#include "comms/port_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace korvel::comms {
namespace {

constexpr std::uint8_t kFrame[4] = {0x20, 0x01, 0x00, 0x21};

// A write its serial driver keeps for ever, until the test lets it go.
struct KeptWrite final : StuckWrites::Entry {
    static inline std::atomic<int> live{0};
    static inline std::atomic<bool> released{false};
    KeptWrite() { ++live; }
    ~KeptWrite() override { --live; }
    bool finished() override { return released.load(); }
};

TEST(PortWriterTest, AThousandStuckWritesHoldABoundedNumberOfThreadsAndBuffers) {
    StuckWrites stuck;
    std::atomic<int> started{0};
    std::atomic<int> lost{0};
    // The back-end of an adapter whose writes never complete, written as the Win32 one is:
    // no write starts while the list of kept ones is full; a started one is given up on and
    // left to its driver.
    const auto neverCompletes = [&](const std::uint8_t*, int) {
        WriteOutcome outcome{-1, true};
        if (!stuck.roomForAnother()) return outcome;
        ++started;
        std::unique_ptr<StuckWrites::Entry> kept = std::make_unique<KeptWrite>();
        if (!stuck.keep(kept)) static_cast<void>(kept.release());
        return outcome;
    };
    int peakThreads = 0;
    int taken = 0;
    for (int open = 0; open < 100; ++open) {  // the port lost and opened again, 100 times
        PortWriter writer(neverCompletes, [&] { ++lost; });
        for (int i = 0; i < 10; ++i) taken += writer.post(kFrame, 4) == 4 ? 1 : 0;
        peakThreads = std::max(peakThreads, PortWriter::liveThreads());
        // The owner hears that the port is lost, and closes it.
        for (int i = 0; i < 500 && lost.load() <= open; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(writer.stop(5000)) << "a writer stuck behind a refused write";
    }
    EXPECT_GE(taken, 100);
    EXPECT_EQ(started.load(), static_cast<int>(StuckWrites::kLimit));
    EXPECT_EQ(KeptWrite::live.load(), static_cast<int>(StuckWrites::kLimit));
    EXPECT_LE(peakThreads, 2);  // this open's writer, and the last one's while it ends
    EXPECT_EQ(lost.load(), 100) << "each open is failed as lost once";

    KeptWrite::released = true;  // the driver lets them go: they are freed at the next look
    EXPECT_TRUE(stuck.roomForAnother());
    EXPECT_EQ(KeptWrite::live.load(), 0);
}

TEST(PortWriterTest, TheOwnerNeverWaitsForAWriteAndAClosedPortTakesNothing) {
    std::mutex lock;
    std::condition_variable gate;
    bool open = false;
    bool waitedItsFull10s = false;
    std::atomic<int> written{0};
    PortWriter writer(
        [&](const std::uint8_t*, int length) {
            std::unique_lock<std::mutex> hold(lock);
            if (!gate.wait_for(hold, std::chrono::seconds(10), [&] { return open; })) {
                waitedItsFull10s = true;
            }
            ++written;
            return WriteOutcome{length, false};
        },
        [] {});
    int taken = 0;
    for (int i = 0; i < 1000; ++i) taken += writer.post(kFrame, 4) == 4 ? 1 : 0;
    // One on the line, at most a queue's worth behind it.
    EXPECT_GE(taken, static_cast<int>(PortWriter::kQueueFrames));
    EXPECT_LE(taken, static_cast<int>(PortWriter::kQueueFrames) + 1);
    {
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_FALSE(waitedItsFull10s) << "post waited for the line";
        open = true;
    }
    gate.notify_all();
    for (int i = 0; i < 500 && written.load() < taken; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(written.load(), taken);
    EXPECT_TRUE(writer.stop(5000));
    EXPECT_EQ(writer.post(kFrame, 4), -1);
}

}  // namespace
}  // namespace korvel::comms
