#include <gtest/gtest.h>

#include "engine/device_list.h"
#include "engine/slot_layout.h"
#include "engine/vt_timers.h"
#include "support/engine_fixture.h"

namespace korvel::engine {
namespace {

using Frames = std::vector<std::string>;

class TransmitQueue : public testing::EngineTest {
  protected:
    // A set-up VT whose first status requests have been answered: idle, nothing pending.
    VtDevice& idleVt(int n = 1) {
        VtDevice& vt = addDevice(n);
        replyEndsFrame(vt);
        replyEndsFrame(vt);
        newFrames(vt);
        host.trafficLog.clear();
        host.debugTexts.clear();
        return vt;
    }
};

TEST_F(TransmitQueue, OneFrameAtATimeTheNextOnlyAfterTheReply) {
    VtDevice& vt = idleVt();
    vt.sendCommand(1, 0);  // stop, then standby on (with its status request) and EE off
    EXPECT_EQ(newFrames(vt), Frames{"20 00 20"});
    EXPECT_EQ(vt.txQueueCount, 4u);
    EXPECT_EQ(host.panelOf(engine::kLastCommandField, 1), "Stop");
    for (const char* next : {"20 05 25", "61 20 05 86", "20 60 80"}) {
        EXPECT_TRUE(newFrames(vt).empty());
        replyEndsFrame(vt);
        EXPECT_EQ(newFrames(vt), Frames{next});
    }
    replyEndsFrame(vt);
    EXPECT_EQ(vt.txQueueCount, 0u);
    EXPECT_TRUE(newFrames(vt).empty());
}

TEST_F(TransmitQueue, ATransmissionIsTracedLoggedCountedAndTimed) {
    engineState().txTimeoutMs = 400;
    VtDevice& vt = idleVt();
    const std::uint32_t before = vt.txCount;
    vt.sendCommand(2, 0);
    EXPECT_TRUE(traced("TX: 20 01 21 "));
    EXPECT_EQ(host.trafficLog, Frames{"TX: 20 01 21 "});
    EXPECT_EQ(host.debugTexts, Frames{"writing to port\n"});
    EXPECT_EQ(vt.txCount, before + 1);
    EXPECT_EQ(host.periodOf(21), 400u);
    EXPECT_TRUE(vt.awaitingReply);
    replyEndsFrame(vt);
    EXPECT_EQ(host.debugTexts.back(), "writing to port2\n");
    EXPECT_EQ(host.trafficLog.back(), "TX: 61 0c 01 6e ");  // the trace text is lower case
}

TEST_F(TransmitQueue, EightFramesAreKeptAndTheRestDroppedWithATrace) {
    VtDevice& vt = idleVt();
    for (int i = 0; i < 90; ++i) vt.sendCommand(32 + (i % 3), 0);  // in entry, out preset, ...
    EXPECT_EQ(vt.txQueueCount, 8u);
    EXPECT_TRUE(traced("output queue is too long - wait is true"));
    EXPECT_EQ(newFrames(vt), Frames{"40 10 50"});
    // The eight kept are the first eight issued, sent in order.
    Frames sent;
    for (int i = 0; i < 8; ++i) {
        replyEndsFrame(vt);
        for (auto& f : newFrames(vt)) sent.push_back(f);
    }
    EXPECT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[0], "44 15 00 00 00 00 59");
    EXPECT_EQ(sent[1], "40 11 51");
    EXPECT_EQ(sent[2], "40 10 50");
    EXPECT_EQ(vt.txQueueCount, 0u);
}

TEST_F(TransmitQueue, TheRingWrapsWithoutLosingOrder) {
    VtDevice& vt = idleVt();
    Frames sent;
    for (int round = 0; round < 5; ++round) {
        vt.sendCommand(2, 0);  // play, time, status: three entries a round
        for (int i = 0; i < 3; ++i) {
            for (auto& f : newFrames(vt)) sent.push_back(f);
            replyEndsFrame(vt);
        }
    }
    ASSERT_EQ(sent.size(), 15u);
    for (int round = 0; round < 5; ++round) {
        EXPECT_EQ(sent[3 * round], "20 01 21");
        EXPECT_EQ(sent[3 * round + 1], "61 0C 01 6E");
        EXPECT_EQ(sent[3 * round + 2], "61 20 05 86");
    }
}

TEST_F(TransmitQueue, ASilentMachineIsFailedAndItsQueueEmptied) {
    VtDevice& vt = idleVt();
    vt.commsFailed = false;
    vt.status0Bit2 = true;
    vt.sendCommand(2, 0);
    host.advance(249);
    EXPECT_FALSE(traced("tx timeout"));
    host.advance(1);
    EXPECT_TRUE(traced("tx timeout[vt1]"));
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
    EXPECT_EQ(slotsOf(vt).slots[kCommsStateSlot], "1,1,");
    EXPECT_TRUE(vt.commsFailed);
    EXPECT_EQ(vt.txQueueCount, 0u);
    EXPECT_FALSE(vt.awaitingReply);
    EXPECT_TRUE(vt.tcPollPending);
    EXPECT_EQ(serialOf(vt).purges, std::vector<int>{12});
    EXPECT_FALSE(host.hasTimer(21));
    EXPECT_FALSE(host.hasTimer(31));  // no timecode while failed
    // Commands issued meanwhile were dropped, not retried.
    host.advance(100);
    EXPECT_TRUE(newFrames(vt).size() == 1);  // only the play went out
}

TEST_F(TransmitQueue, TimersOfVtsThatDoNotExistDoNothingButShowTheTimeout) {
    idleVt(1);
    EXPECT_TRUE(handleTimer(25));
    EXPECT_EQ(host.panelOf(engine::kCommsField, 5), "!! tFAIL !!");
    EXPECT_TRUE(handleTimer(35));
    for (int id : {0, 20, 30, 41, -1, 2100}) EXPECT_FALSE(handleTimer(id)) << id;
    resetVt(2);  // the Reset menu's VT 2, never configured
    EXPECT_FALSE(traced("RESET [VT2]"));
    EXPECT_EQ(host.panelCount(engine::kCommsField, 2), 0u);
}

TEST_F(TransmitQueue, TheTimecodeTimerWaitsOneTickForABusyLine) {
    VtDevice& vt = idleVt();
    timecodeTimer(31);
    EXPECT_EQ(newFrames(vt), Frames{"61 0C 01 6E"});  // idle: at once
    timecodeTimer(31);
    EXPECT_TRUE(vt.tcPollPending);  // busy: only marked
    EXPECT_TRUE(newFrames(vt).empty());
    timecodeTimer(31);
    EXPECT_FALSE(vt.tcPollPending);  // still busy: queued now
    EXPECT_EQ(vt.txQueueCount, 2u);
    replyEndsFrame(vt);
    EXPECT_EQ(newFrames(vt), Frames{"61 0C 01 6E"});
}

TEST_F(TransmitQueue, APendingTimeRequestGoesOutWhenTheQueueDrains) {
    VtDevice& vt = idleVt();
    vt.sendCommand(20, 0);
    timecodeTimer(31);
    replyEndsFrame(vt);
    EXPECT_EQ(newFrames(vt), (Frames{"20 30 50", "61 0C 01 6E"}));
    EXPECT_FALSE(vt.tcPollPending);
}

TEST_F(TransmitQueue, ThePollVisitsEachVtOnceEvery1125MsAndRefreshesCountersPerRound) {
    VtDevice& vt1 = idleVt(1);
    VtDevice& vt3 = idleVt(3);
    host.setTimer(kPollTimerId, kPollPeriodMs);
    host.killTimer(31);
    host.killTimer(33);
    host.advance(125);
    EXPECT_EQ(newFrames(vt1), Frames{"61 20 05 86"});
    replyEndsFrame(vt1);
    host.advance(250);
    EXPECT_EQ(newFrames(vt3), Frames{"61 20 05 86"});
    replyEndsFrame(vt3);
    EXPECT_EQ(host.counterRefreshes, 0);
    host.advance(1125 - 375);  // tick 9 ends the round, tick 10 visits VT1 again
    EXPECT_EQ(host.counterRefreshes, 0);
    EXPECT_TRUE(newFrames(vt1).empty());
    host.advance(125);
    EXPECT_EQ(host.counterRefreshes, 1);
    EXPECT_EQ(newFrames(vt1), Frames{"61 20 05 86"});
}

TEST_F(TransmitQueue, ThePollsStatusRequestWaitsForItsReplyLikeAnyFrame) {
    VtDevice& vt = idleVt();
    vt.tcPollPending = true;
    poll();
    EXPECT_EQ(newFrames(vt), Frames{"61 20 05 86"});
    EXPECT_EQ(vt.txQueueCount, 1u);  // still at the head: one command outstanding
    vt.sendCommand(2, 0);            // issued before the status reply: it waits
    EXPECT_TRUE(newFrames(vt).empty());
    replyEndsFrame(vt);  // the status reply ends the status request, not the play
    EXPECT_EQ(newFrames(vt), Frames{"20 01 21"});
    replyEndsFrame(vt);
    replyEndsFrame(vt);
    replyEndsFrame(vt);
    // The time request that was due goes out once the line is free, as before.
    EXPECT_EQ(newFrames(vt), (Frames{"61 0C 01 6E", "61 20 05 86", "61 0C 01 6E"}));
}

TEST_F(TransmitQueue, ThePollMovesOnFramesStuckWithoutAReplyAwaited) {
    VtDevice& vt = idleVt();
    vt.sendCommand(32, 0);
    vt.sendCommand(34, 0);
    vt.awaitingReply = false;  // the in entry is no longer awaited
    newFrames(vt);
    poll();
    EXPECT_EQ(newFrames(vt), Frames{"40 11 51"});  // dropped the stuck one, sent the next
    EXPECT_EQ(vt.txQueueCount, 2u);
}

TEST_F(TransmitQueue, AFailedVtIsAskedForItsStatusOnEveryVisit) {
    VtDevice& vt = idleVt();
    host.setTimer(kPollTimerId, kPollPeriodMs);
    host.killTimer(31);
    for (int visit = 0; visit < 3; ++visit) {
        // Each round holds the visit and, 250 ms later, the time-out of its request.
        host.advance(visit == 0 ? 125 : 1125);
        EXPECT_EQ(newFrames(vt), Frames{"61 20 05 86"}) << visit;
        EXPECT_TRUE(vt.commsFailed);
    }
    EXPECT_EQ(host.firings[21], 2);
}

TEST_F(TransmitQueue, AFailedVtStillAwaitingIsMovedOnByThePoll) {
    VtDevice& vt = idleVt();
    vt.sendCommand(32, 0);
    vt.sendCommand(34, 0);
    newFrames(vt);
    poll();  // failed and awaiting: the in entry is dropped, the out entry sent
    EXPECT_EQ(newFrames(vt), Frames{"40 11 51"});
    EXPECT_TRUE(vt.statusPollPending);
    replyEndsFrame(vt);
    EXPECT_EQ(newFrames(vt), Frames{"61 20 05 86"});
    EXPECT_FALSE(vt.statusPollPending);
}

TEST_F(TransmitQueue, ResetFailsTheVtAndRestartsItsTimecodeTimer) {
    VtDevice& vt = idleVt(2);
    vt.commsFailed = false;
    vt.tcUpdatePeriod = 80;
    vt.sendCommand(2, 0);
    resetVt(2);
    EXPECT_TRUE(traced("tx timeout[vt2]"));
    EXPECT_TRUE(traced("RESET [VT2]"));
    EXPECT_EQ(host.panelOf(engine::kCommsField, 2), "!! tFAIL !!");
    EXPECT_EQ(slotsOf(vt).slots[kCommsStateSlot], "1,0,");
    EXPECT_EQ(vt.txQueueCount, 0u);
    EXPECT_EQ(serialOf(vt).purges, std::vector<int>{12});
    EXPECT_FALSE(host.hasTimer(22));
    EXPECT_EQ(host.periodOf(32), 80u);
}

TEST_F(TransmitQueue, SetCueTakesTheMachinesTimecodeWithoutItsFlagBits) {
    VtDevice& vt = idleVt();
    vt.currentTimecode = Timecode{0x45, 0x59, 0x59, 0xA3};
    vt.sendCommand(22, 0);
    EXPECT_EQ(vt.cuePoint, (Timecode{0x05, 0x59, 0x59, 0x23}));
    EXPECT_EQ(slotsOf(vt).slots[kCuePointSlot], "23.59.59.05");
    EXPECT_EQ(host.panelOf(engine::kLastCommandField, 1), "SetCue");
    EXPECT_TRUE(newFrames(vt).empty());
    vt.sendCommand(21, 0);  // cue up to it
    EXPECT_EQ(newFrames(vt), Frames{"24 31 05 59 59 23 2F"});
    EXPECT_EQ(host.panelOf(engine::kLastCommandField, 1), "Cue");
}

TEST_F(TransmitQueue, NumbersOutsideTheTableChangeNothing) {
    VtDevice& vt = idleVt();
    vt.sendCommand(2, 0);
    replyEndsFrame(vt);
    replyEndsFrame(vt);
    replyEndsFrame(vt);
    newFrames(vt);
    const auto panel = host.panel;
    for (unsigned number : {0u, 10u, 100u}) vt.sendCommand(number, 5);
    EXPECT_TRUE(newFrames(vt).empty());
    EXPECT_EQ(host.panel, panel);
    EXPECT_EQ(vt.txQueueCount, 0u);
}

}  // namespace
}  // namespace korvel::engine
