#include "shell/debug_view_state.h"

#include <gtest/gtest.h>

namespace korvel::shell {
namespace {

constexpr int kOpen = 640;
constexpr int kClosed = 292;

void expectMarks(const DebugViewState& state, bool on, bool hide, bool logging) {
    EXPECT_EQ(state.marks().on, on);
    EXPECT_EQ(state.marks().hide, hide);
    EXPECT_EQ(state.marks().logging, logging);
}

TEST(DebugViewState, StartingWithDebugOffClosesTheViewAndFirstHideOpensIt) {
    DebugViewState state(kOpen, kClosed);
    EXPECT_EQ(state.start(false), kClosed);
    expectMarks(state, false, true, false);
    EXPECT_FALSE(state.debugMode());

    const DebugViewChange open = state.toggleHide();
    EXPECT_EQ(open.height, 640);
    EXPECT_EQ(open.writeDebugMode, 1);
    EXPECT_TRUE(state.debugMode());
    expectMarks(state, true, false, false);

    const DebugViewChange close = state.toggleHide();
    EXPECT_EQ(close.height, kClosed);
    EXPECT_EQ(close.writeDebugMode, 0);
    EXPECT_FALSE(state.debugMode());
    expectMarks(state, false, true, false);
}

TEST(DebugViewState, StartingWithDebugOnTheFirstHideKeepsTheViewAndTheSecondClosesIt) {
    DebugViewState state(kOpen, kClosed);
    EXPECT_EQ(state.start(true), 640);
    expectMarks(state, true, false, false);

    const DebugViewChange first = state.toggleHide();
    EXPECT_EQ(first.height, 640);  // the hide toggle was 0
    EXPECT_TRUE(state.hideToggle());
    EXPECT_TRUE(state.debugMode());

    const DebugViewChange second = state.toggleHide();
    EXPECT_EQ(second.height, kClosed);
    EXPECT_FALSE(state.hideToggle());
    EXPECT_FALSE(state.debugMode());
    expectMarks(state, false, true, false);
}

TEST(DebugViewState, OnWhileTracingOnlyStopsTheTraceAndLeavesTheViewAndHide) {
    DebugViewState state(kOpen, kClosed);
    state.start(true);
    state.toggleHide();  // hide toggle set, view open

    const DebugViewChange off = state.toggleOn();
    EXPECT_EQ(off.height, DebugViewChange::kKeepHeight);
    EXPECT_EQ(off.writeDebugMode, 0);
    EXPECT_FALSE(state.debugMode());
    EXPECT_TRUE(state.hideToggle());
    expectMarks(state, false, false, false);
}

TEST(DebugViewState, OnWhileNotTracingOpensTheViewAndResetsHide) {
    DebugViewState state(kOpen, kClosed);
    state.start(false);

    const DebugViewChange on = state.toggleOn();
    EXPECT_EQ(on.height, 640);
    EXPECT_EQ(on.writeDebugMode, 1);
    EXPECT_TRUE(state.debugMode());
    EXPECT_FALSE(state.hideToggle());
    expectMarks(state, true, false, false);

    // The hide toggle was cleared: the next Hide leaves the view open.
    EXPECT_EQ(state.toggleHide().height, 640);
    EXPECT_EQ(state.toggleHide().height, kClosed);
}

TEST(DebugViewState, LoggingTwiceCreatesThenDestroysTheLogWithoutTouchingTheView) {
    DebugViewState state(kOpen, kClosed);
    state.start(false);
    state.startLogging(false);

    const DebugViewChange first = state.toggleLogging();
    EXPECT_TRUE(first.openLog);
    EXPECT_FALSE(first.closeLog);
    EXPECT_TRUE(state.logToDisk());
    expectMarks(state, false, true, true);

    const DebugViewChange second = state.toggleLogging();
    EXPECT_FALSE(second.openLog);
    EXPECT_TRUE(second.closeLog);
    EXPECT_EQ(second.height, DebugViewChange::kKeepHeight);
    EXPECT_EQ(second.writeDebugMode, DebugViewChange::kNoWrite);
    expectMarks(state, false, true, false);
}

TEST(DebugViewState, LoggingFromTheSettingsIsMarkedAndItsToggleClosesTheLog) {
    DebugViewState state(kOpen, kClosed);
    state.start(true);
    state.startLogging(true);
    expectMarks(state, true, false, true);
    EXPECT_TRUE(state.toggleLogging().closeLog);
}

}  // namespace
}  // namespace korvel::shell
