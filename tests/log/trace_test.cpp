#include "log/trace.h"

#include <gtest/gtest.h>

#include <string>

#include "support/memory_trace_view.h"

namespace korvel::log {
namespace {

std::uint32_t gNow = 0;
std::uint32_t manualTick() {
    return gNow;
}

class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        traceState() = TraceState{};
        traceState().view = &view;
        traceState().tick = &manualTick;
        gNow = 0;
        setTracing(true);
    }
    void TearDown() override { traceState() = TraceState{}; }

    testing::MemoryTraceView view;
};

TEST_F(TraceTest, EachLineShowsTheMillisecondsSinceThePreviousLine) {
    gNow = 1234;
    trace("Connected OK to infodriver %d", 10);
    gNow = 1274;
    trace("tx timeout[vt%d]", 1);
    ASSERT_EQ(view.lines.size(), 2u);
    // The first line after start-up shows the full tick count.
    EXPECT_EQ(view.lines[0], "001234:   Connected OK to infodriver 10");
    EXPECT_EQ(view.lines[1], "000040:   tx timeout[vt1]");
}

TEST_F(TraceTest, IntervalHoldsAcrossTheWrapOfTheTickCounter) {
    gNow = 0xFFFFFFF0u;
    trace("before");
    gNow = 0x10u;
    trace("after");
    EXPECT_EQ(view.lines[1], "000032:   after");
}

TEST_F(TraceTest, WhileOffNothingIsShownAndTheIntervalRunsFromTheLastLineShown) {
    gNow = 100;
    trace("shown");
    setTracing(false);
    gNow = 150;
    trace("hidden %d", 1);
    traceText("hidden too");
    EXPECT_EQ(view.lines.size(), 1u);
    EXPECT_EQ(traceState().lastTick, 100u);
    setTracing(true);
    gNow = 400;
    trace("again");
    ASSERT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(view.lines[1], "000300:   again");
}

TEST_F(TraceTest, LongMessagesAreCutTo160Characters) {
    const std::string message(200, 'x');
    trace("%s", message.c_str());
    EXPECT_EQ(view.lines[0], "000000:   " + std::string(160, 'x'));

    // Far beyond the 2048-byte formatting buffer: still cut, never overrun.
    const std::string huge(10000, 'y');
    trace("%s%s", huge.c_str(), huge.c_str());
    traceText(huge.c_str());
    EXPECT_EQ(view.lines[1], "000000:   " + std::string(160, 'y'));
    EXPECT_EQ(view.lines[2], "000000:   " + std::string(160, 'y'));
}

TEST_F(TraceTest, TraceTextShowsConversionCharactersAsTheyAre) {
    traceText("RX (3 bytes): 20 %d %s ");
    EXPECT_EQ(view.lines[0], "000000:   RX (3 bytes): 20 %d %s ");
}

TEST_F(TraceTest, TheListKeeps500LinesAndScrollsToTheNewest) {
    for (int i = 0; i < 500; ++i) trace("line %d", i);
    EXPECT_EQ(view.count(), 500);
    EXPECT_EQ(view.topIndex, 499);
    trace("line %d", 500);
    ASSERT_EQ(view.count(), 500);
    EXPECT_EQ(view.lines.front(), "000000:   line 1");
    EXPECT_EQ(view.lines.back(), "000000:   line 500");
    EXPECT_EQ(view.topIndex, 499);
}

}  // namespace
}  // namespace korvel::log
