// The serial library on its POSIX back-end, against ptys that the tests hold the far end of.

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "../support/memory_trace_view.h"
#include "comms/comms.h"
#include "comms/notify_queue.h"
#include "comms/port_table.h"
#include "comms/posix/device.h"
#include "comms/serial_port.h"
#include "log/trace.h"
#include "pty_port.h"

namespace korvel::comms {
namespace {

using testing::LinkFolder;
using testing::PtyPort;
using testing::waitUntil;

std::atomic<std::uint32_t> gNow{1000};
std::uint32_t manualTick() {
    return gNow.load();
}

std::vector<std::uint8_t> counting(int length, int start = 0) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) bytes[static_cast<std::size_t>(i)] = (start + i) & 0xFF;
    return bytes;
}

class PosixCommsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetCommsState();
        commsState().tick = &manualTick;
        gNow = 1000;
        ::setenv("KORVEL_SERIAL_DIR", links.path().c_str(), 1);
        log::traceState() = log::TraceState{};
        log::traceState().view = &traceView;
        log::setTracing(true);
    }
    void TearDown() override {
        resetCommsState();
        log::traceState() = log::TraceState{};
    }

    // Unread bytes as the port reports them.
    static int unread(SerialPort& port) {
        CommStatus status;
        ErrorWord errors = 0;
        port.status(&status, &errors);
        return static_cast<int>(status.cbInQue);
    }

    static bool waitForUnread(SerialPort& port, int count) {
        return waitUntil([&] { return unread(port) == count; });
    }

    static PortRecord& record(int portIndex) { return *portRecord(portIndex); }

    LinkFolder links;
    korvel::testing::MemoryTraceView traceView;
};

TEST_F(PosixCommsTest, OpenCloseAndReopenStartWithAFreshTable) {
    PtyPort far(links, 3);
    NotifyQueue queue;
    SerialPort port;
    ASSERT_EQ(port.open(3), 1);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portIndex(), 2);
    ASSERT_EQ(port.setNotifyWindow(&queue, 1), 1);
    ASSERT_TRUE(far.send({1, 2, 3}));
    ASSERT_TRUE(waitForUnread(port, 3));

    port.close();
    EXPECT_STREQ(commsLastStatus(), "Closing port 3\r\n");
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.getPortNumber(), 0);
    EXPECT_EQ(commsState().table, nullptr);

    ASSERT_EQ(port.open(3), 1);
    const PortRecord& fresh = record(2);
    EXPECT_EQ(unread(port), 0);
    EXPECT_EQ(fresh.notifyWindow, nullptr);
    EXPECT_EQ(fresh.throttle.pending, 0);
    EXPECT_EQ(fresh.throttle.lastTick, 0u);
    // The line works as before.
    const std::uint8_t frame[4] = {0x61, 0x20, 0x05, 0x86};
    EXPECT_EQ(port.write(frame, 4), 4);
    EXPECT_EQ(far.receive(4), std::vector<std::uint8_t>(frame, frame + 4));
}

// A pty keeps no parity; what the last holder asked for must not refuse the next open.
TEST_F(PosixCommsTest, APortOpensAgainWithParityAfterItWasClosed) {
    PtyPort far(links, 4);
    SerialPort port;
    port.setParity(kParityOdd);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(port.open(4), 1) << "round " << round << ": " << commsLastStatus();
        port.close();
    }
    port.setParity(kParityEven);
    port.setDataBits(7);
    ASSERT_EQ(port.open(4), 1);
    const std::uint8_t frame[4] = {0x61, 0x20, 0x05, 0x86};
    EXPECT_EQ(port.write(frame, 4), 4);
    EXPECT_EQ(far.receive(4), std::vector<std::uint8_t>(frame, frame + 4));
}

TEST_F(PosixCommsTest, PortNumbersOutOfRangeOrMissingGiveMinusOne) {
    SerialPort port;
    EXPECT_EQ(port.open(0), -1);
    EXPECT_EQ(port.open(257), -1);
    EXPECT_EQ(port.open(-4), -1);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(commsState().table, nullptr);  // not even made
    EXPECT_EQ(port.open(9), -1);             // no device behind com9
    EXPECT_EQ(commsState().table, nullptr);  // made and freed again
    EXPECT_EQ(port.write(reinterpret_cast<const std::uint8_t*>("x"), 1), -1);

    PtyPort last(links, 256);
    ASSERT_EQ(port.open(256), 1);
    EXPECT_EQ(port.portIndex(), 255);
    // Bad indices are refused by every operation.
    std::uint8_t buffer[8];
    EXPECT_EQ(commsRead(256, buffer, 8), 0);
    EXPECT_EQ(commsRead(-1, buffer, 8), 0);
    EXPECT_EQ(commsWrite(300, buffer, 8), 0);
    EXPECT_EQ(commsPurge(-2, 8), 0);
    EXPECT_EQ(commsSetReadParams(256, 1), 0);
    commsClose(999);
    EXPECT_TRUE(port.isOpen());
    commsClose(-1);  // a port is in use: the table stays
    EXPECT_NE(commsState().table, nullptr);
}

TEST_F(PosixCommsTest, APortAlreadyHeldGivesMinusTwo) {
    PtyPort far(links, 4);
    SerialPort first, second;
    ASSERT_EQ(first.open(4), 1);
    EXPECT_EQ(second.open(4), -2);
    EXPECT_STREQ(commsLastStatus(), "Serial Port 4 is already open");
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.write(reinterpret_cast<const std::uint8_t*>("x"), 1), -2);
    EXPECT_EQ(first.write(reinterpret_cast<const std::uint8_t*>("ok"), 2), 2);
    first.close();

    // Another holder of the device (as another process would be) takes its lock.
    const int other = ::open(far.linkPath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(second.open(4), -2);
    EXPECT_EQ(commsState().table, nullptr);
    ::close(other);
    EXPECT_EQ(second.open(4), 1);
}

TEST_F(PosixCommsTest, LineSettingsAndTimeoutsFollowTheSpeed) {
    PtyPort far(links, 5);
    SerialPort port;
    port.setSpeed(38400);
    port.setDataBits(8);
    port.setStopBits(kTwoStopBits);
    port.setParity(kParityOdd);
    ASSERT_EQ(port.open(5), 1);
    termios t{};
    ASSERT_EQ(::tcgetattr(record(4).device->fd, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B38400));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);  // (a pty keeps no parity, so that is not seen here)
    EXPECT_EQ(record(4).timeouts.readInterval, 2u);
    EXPECT_EQ(record(4).timeouts.readTotalMultiplier, 0u);  // a read waits for its first byte
    EXPECT_EQ(record(4).timeouts.readTotalConstant, 0u);
    EXPECT_EQ(record(4).timeouts.writeTotalConstant, 1000u);

    port.setSpeed(9600);  // re-opens with every setting
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(record(4).timeouts.readInterval, 10u);
    ASSERT_EQ(::tcgetattr(record(4).device->fd, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);

    // At 115200 one character takes less than a millisecond; the interval is still 1 ms.
    SerialPort fast;
    PtyPort farFast(links, 6);
    fast.setSpeed(115200);
    EXPECT_EQ(commsOpen(&fast, 115200, 8, kOneStopBit, kParityNone), -1);  // number not set yet
    ASSERT_EQ(fast.open(6), 1);
    EXPECT_EQ(commsState().readSize[5].load(), 0);
    EXPECT_EQ(record(5).timeouts.readInterval, 1u);
    fast.close();
    SerialPort raw;
    ASSERT_EQ(raw.open(6), 1);
    raw.close();

    // A speed or setting the device refuses fails the open and leaves the port free.
    SerialPort odd;
    odd.setSpeed(12345);
    EXPECT_EQ(odd.open(6), -1);
    odd.setSpeed(0);
    EXPECT_EQ(odd.open(6), -1);
    odd.setSpeed(9600);
    odd.setDataBits(9);
    EXPECT_EQ(odd.open(6), -1);
    odd.setDataBits(8);
    EXPECT_EQ(odd.open(6), 1);
}

TEST_F(PosixCommsTest, ABurstOf40IsReadAs32Then8) {
    PtyPort far(links, 7);
    SerialPort port;
    ASSERT_EQ(port.open(7), 1);
    NotifyQueue queue;
    ASSERT_EQ(port.setNotifyWindow(&queue, 1), 1);
    const auto burst = counting(40);
    ASSERT_TRUE(far.send(burst));
    ASSERT_TRUE(waitForUnread(port, 40));
    std::uint8_t buffer[64] = {};
    ASSERT_EQ(port.read(buffer, 32), 32);
    EXPECT_EQ(std::memcmp(buffer, burst.data(), 32), 0);
    ASSERT_EQ(port.read(buffer, 32), 8);
    EXPECT_EQ(std::memcmp(buffer, burst.data() + 32, 8), 0);
    EXPECT_EQ(port.read(buffer, 32), 0);
    EXPECT_EQ(unread(port), 0);
    EXPECT_EQ(record(6).unreadCount, 0);
}

TEST_F(PosixCommsTest, NotificationsAreThrottledUntilARead) {
    PtyPort far(links, 8);
    SerialPort port;
    ASSERT_EQ(port.open(8), 1);
    NotifyQueue queue;
    EXPECT_EQ(port.setNotifyWindow(nullptr, 1), 0);
    ASSERT_EQ(port.setNotifyWindow(&queue, 1), 1);

    auto trickle = [&](int expectUnread) {
        EXPECT_TRUE(far.send({0x10}));
        EXPECT_TRUE(waitForUnread(port, expectUnread));
    };
    trickle(1);  // the first byte notifies at once
    EXPECT_EQ(queue.size(), 1u);
    gNow = 1050;
    trickle(2);
    gNow = 1099;
    trickle(3);
    EXPECT_EQ(queue.size(), 1u);
    gNow = 1100;  // 100 ms after the last notification
    trickle(4);
    EXPECT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.take(0), &port);

    std::uint8_t buffer[ReceiveRing::kSize];
    EXPECT_EQ(port.read(buffer, sizeof buffer), 4);
    gNow = 1101;
    trickle(1);  // after a read the next byte notifies at once
    EXPECT_EQ(queue.size(), 2u);

    // More than 8192 waiting: every delivery notifies.
    ASSERT_EQ(port.setNotifyWindow(&queue, 256), 1);
    ASSERT_TRUE(far.send(counting(8191)));
    ASSERT_TRUE(waitForUnread(port, 8192));
    EXPECT_EQ(queue.size(), 2u);
    trickle(8193);
    EXPECT_EQ(queue.size(), 3u);
    trickle(8194);
    EXPECT_EQ(queue.size(), 4u);
}

std::atomic<int> gCallbackReads{0};
void readInCallback(SerialPort* owner) {
    std::uint8_t buffer[16];
    gCallbackReads += owner->read(buffer, sizeof buffer);
}

TEST_F(PosixCommsTest, ACallbackHearsOnTheReaderThreadAndMayRead) {
    PtyPort far(links, 10);
    SerialPort port;
    ASSERT_EQ(port.open(10), 1);
    gCallbackReads = 0;
    ASSERT_EQ(commsSetNotifyCallback(port.portIndex(), &readInCallback, 1), 1);
    ASSERT_TRUE(far.send(counting(5)));
    EXPECT_TRUE(waitUntil([] { return gCallbackReads.load() == 5; }));
    // A negative read size removes the listener; what is read still reaches the ring.
    ASSERT_EQ(commsSetReadParams(port.portIndex(), -1), 1);
    ASSERT_TRUE(far.send({9}));
    EXPECT_TRUE(waitForUnread(port, 1));
    EXPECT_EQ(gCallbackReads.load(), 5);
}

std::atomic<int> gFirstCallbackRead{-1};
void noteFirstRead(SerialPort* owner) {
    std::uint8_t buffer[16];
    const int n = owner->read(buffer, sizeof buffer);
    int none = -1;
    gFirstCallbackRead.compare_exchange_strong(none, n);
}

// A reply that arrives in one burst reaches the owner whole, even at read size 1: one
// delivery and one notification, not one per byte.
TEST_F(PosixCommsTest, ABurstReachesTheOwnerInOneDeliveryAtReadSizeOne) {
    PtyPort far(links, 13);
    SerialPort port;
    ASSERT_EQ(port.open(13), 1);
    gFirstCallbackRead = -1;
    ASSERT_EQ(commsSetNotifyCallback(port.portIndex(), &noteFirstRead, 1), 1);
    ASSERT_TRUE(far.send({0x75, 0x20, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x35}));
    ASSERT_TRUE(waitUntil([] { return gFirstCallbackRead.load() >= 0; }));
    EXPECT_EQ(gFirstCallbackRead.load(), 8);
}

std::atomic<int> gCloseAttempts{0};
void closeInCallback(SerialPort* owner) {
    commsClose(owner->portIndex());
    ++gCloseAttempts;
}

TEST_F(PosixCommsTest, ACallbackCannotCloseItsOwnPort) {
    PtyPort far(links, 9);
    SerialPort port;
    ASSERT_EQ(port.open(9), 1);
    gCloseAttempts = 0;
    ASSERT_EQ(commsSetNotifyCallback(port.portIndex(), &closeInCallback, 1), 1);
    ASSERT_TRUE(far.send({1}));
    ASSERT_TRUE(waitUntil([] { return gCloseAttempts.load() == 1; }));
    ASSERT_TRUE(record(8).inUse());
    EXPECT_EQ(unread(port), 1);
    port.close();
    EXPECT_EQ(commsState().table, nullptr);
}

TEST_F(PosixCommsTest, ReadSizesAboveTheReaderBufferReadInPieces) {
    PtyPort far(links, 11);
    SerialPort port;
    ASSERT_EQ(port.open(11), 1);
    NotifyQueue queue;
    ASSERT_EQ(port.setNotifyWindow(&queue, 4000), 1);
    const auto burst = counting(3000, 3);
    ASSERT_TRUE(far.send(burst));
    ASSERT_TRUE(waitForUnread(port, 3000));
    std::vector<std::uint8_t> out(4000);
    ASSERT_EQ(port.read(out.data(), 4000), 3000);
    EXPECT_TRUE(std::equal(burst.begin(), burst.end(), out.begin()));
}

TEST_F(PosixCommsTest, ABurstLargerThanTheRingKeepsWhatWaitsAndTracesTheLoss) {
    PtyPort far(links, 12);
    SerialPort port;
    ASSERT_EQ(port.open(12), 1);
    NotifyQueue queue;
    ASSERT_EQ(port.setNotifyWindow(&queue, 256), 1);
    const auto burst = counting(20000);
    ASSERT_TRUE(far.send(burst));
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> hold(record(11).lock);
        return record(11).droppedBytes == 20000 - 16383;
    }));
    EXPECT_EQ(unread(port), 16383);
    std::vector<std::uint8_t> out(ReceiveRing::kSize);
    ASSERT_EQ(port.read(out.data(), ReceiveRing::kSize), 16383);
    EXPECT_TRUE(std::equal(burst.begin(), burst.begin() + 16383, out.begin()));
    ASSERT_FALSE(traceView.lines.empty());
    EXPECT_NE(traceView.lines.back().find("Com port [12] receive ring full: 3617 bytes lost"),
              std::string::npos);
}

TEST_F(PosixCommsTest, PurgeEmptiesTheRingAndItsCount) {
    PtyPort far(links, 13);
    SerialPort port;
    ASSERT_EQ(port.open(13), 1);
    NotifyQueue queue;
    ASSERT_EQ(port.setNotifyWindow(&queue, 16), 1);
    ASSERT_TRUE(far.send(counting(100)));
    ASSERT_TRUE(waitForUnread(port, 100));
    EXPECT_NE(port.purge(kPurgeTxClear), 0);  // the transmit side only, yet the ring empties
    EXPECT_EQ(unread(port), 0);
    EXPECT_EQ(record(12).unreadCount, 0);
    std::uint8_t buffer[128];
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port.purge(0x100), 0);  // flags the device does not know
    ASSERT_TRUE(far.send({7, 8, 9}));
    ASSERT_TRUE(waitForUnread(port, 3));
    ASSERT_EQ(port.read(buffer, sizeof buffer), 3);
    EXPECT_EQ(buffer[0], 7);
}

TEST_F(PosixCommsTest, PurgeWhileTheReaderDelivers) {
    PtyPort far(links, 14);
    SerialPort port;
    ASSERT_EQ(port.open(14), 1);
    NotifyQueue queue;
    ASSERT_EQ(port.setNotifyWindow(&queue, 1), 1);
    std::atomic<bool> flowing{true};
    std::thread sender([&] {
        const std::uint8_t filler[64] = {};
        while (flowing) {
            if (far.trySend(filler, sizeof filler) == 0) std::this_thread::yield();
        }
    });
    std::uint8_t buffer[256];
    for (int i = 0; i < 300; ++i) {
        port.purge(i % 2 ? kPurgeRxClear : kPurgeTxClear | kPurgeRxClear);
        port.read(buffer, sizeof buffer);
    }
    flowing = false;
    sender.join();

    // Whatever was on its way ends in the ring before the marker; nothing is lost after.
    port.purge(kPurgeRxClear);
    ASSERT_TRUE(far.send({1, 2, 3, 4, 5}));
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(waitUntil([&] {
        const int n = port.read(buffer, sizeof buffer);
        got.insert(got.end(), buffer, buffer + n);
        return got.size() >= 5 && got.back() == 5;
    }));
    EXPECT_EQ(std::vector<std::uint8_t>(got.end() - 5, got.end()),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(std::all_of(got.begin(), got.end() - 5, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(unread(port), 0);
}

TEST_F(PosixCommsTest, CloseWhileBytesFlow) {
    PtyPort far(links, 15);
    SerialPort port;
    NotifyQueue queue;
    std::atomic<bool> flowing{true};
    std::thread sender([&] {
        const std::uint8_t filler[32] = {0x55};
        while (flowing) {
            if (far.trySend(filler, sizeof filler) == 0) std::this_thread::yield();
        }
    });
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(port.open(15), 1);
        ASSERT_EQ(port.setNotifyWindow(&queue, round % 2 ? 1 : 256), 1);
        ASSERT_TRUE(waitUntil([&] { return unread(port) > 0; }));
        port.close();
        EXPECT_EQ(commsState().table, nullptr);
    }
    flowing = false;
    sender.join();
}

TEST_F(PosixCommsTest, APtyThatVanishesWhileOpen) {
    auto far = std::make_unique<PtyPort>(links, 16);
    SerialPort port;
    ASSERT_EQ(port.open(16), 1);
    NotifyQueue queue;
    ASSERT_EQ(port.setNotifyWindow(&queue, 1), 1);
    ASSERT_TRUE(far->send({1, 2}));
    ASSERT_TRUE(waitForUnread(port, 2));
    far->vanish();
    // The reader finds the device gone, marks the port lost, tells the owner and ends.
    EXPECT_TRUE(waitUntil([&] { return port.isLost(); }));
    EXPECT_TRUE(waitUntil([&] { return queue.size() > 0; }));

    const std::uint8_t frame[4] = {0x20, 0x01, 0x00, 0x21};
    EXPECT_EQ(port.write(frame, 4), -1);
    std::uint8_t buffer[8];
    EXPECT_EQ(port.read(buffer, sizeof buffer), 2);  // what arrived before stays readable
    EXPECT_NE(port.purge(kPurgeRxClear | kPurgeTxClear), -1);
    port.close();
    EXPECT_EQ(commsState().table, nullptr);

    far.reset();
    far = std::make_unique<PtyPort>(links, 16);  // the deck is back
    ASSERT_EQ(port.open(16), 1) << commsLastStatus();
    EXPECT_FALSE(port.isLost());
    EXPECT_EQ(port.write(frame, 4), 4);
    EXPECT_EQ(far->receive(4).size(), 4u);
}

// A reader given up at a close may come back from its read at any time: what it brings and
// what it reports must reach neither the cleared entry nor the port opened again.
TEST_F(PosixCommsTest, AReaderOfAnEarlierOpenDeliversAndReportsNothing) {
    PtyPort far(links, 18), other(links, 19);
    SerialPort port, keepsTheTable;
    ASSERT_EQ(keepsTheTable.open(19), 1);
    ASSERT_EQ(port.open(18), 1);
    PortRecord& entry = record(port.portIndex());
    const std::uint32_t given = entry.generation;
    const std::uint8_t late[3] = {0x11, 0x12, 0x13};

    port.close();  // cleared: no device, no ring, nobody to tell
    EXPECT_FALSE(deliverBytes(entry, given, late, 3));
    reportLost(entry, given);
    EXPECT_FALSE(entry.lost);

    NotifyQueue queue;
    ASSERT_EQ(port.open(18), 1);
    ASSERT_EQ(&record(port.portIndex()), &entry);
    ASSERT_EQ(port.setNotifyWindow(&queue, 1), 1);
    EXPECT_FALSE(deliverBytes(entry, given, late, 3));
    reportLost(entry, given);
    EXPECT_EQ(unread(port), 0);
    EXPECT_FALSE(port.isLost());
    EXPECT_EQ(queue.size(), 0u);

    // The reader of this open is heard.
    EXPECT_TRUE(deliverBytes(entry, entry.generation, late, 3));
    EXPECT_EQ(unread(port), 3);
    reportLost(entry, entry.generation);
    EXPECT_TRUE(port.isLost());
}

TEST_F(PosixCommsTest, WritesReachTheLineAndBadLengthsAreRefused) {
    PtyPort far(links, 17);
    SerialPort port;
    const std::uint8_t frame[4] = {0x20, 0x01, 0x00, 0x21};
    EXPECT_EQ(port.write(frame, 4), -1);  // never opened
    ASSERT_EQ(port.open(17), 1);
    EXPECT_EQ(port.write(frame, 4), 4);
    EXPECT_EQ(far.receive(4), std::vector<std::uint8_t>(frame, frame + 4));
    EXPECT_EQ(port.write(frame, -1), -1);
    EXPECT_EQ(port.write(nullptr, 4), -1);
    EXPECT_EQ(port.write(frame, 0), 0);
    EXPECT_TRUE(far.receive(1, 50).empty());
    // A long write is not cut to 16 bits.
    const auto big = counting(70000);
    std::thread drain([&] { EXPECT_EQ(far.receive(70000, 5000).size(), 70000u); });
    EXPECT_EQ(port.write(big.data(), 70000), 70000);
    drain.join();
}

}  // namespace
}  // namespace korvel::comms
