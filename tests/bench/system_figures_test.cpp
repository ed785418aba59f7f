#include "bench/system_figures.h"

#include <gtest/gtest.h>

#include <climits>

namespace korvel::bench {
namespace {

TEST(SystemLogLines, DeckLinesReadWithTheirDetail) {
    const auto rx = parseDeckLine("2760.762072 1 rx 61 20 05 86\n");
    ASSERT_TRUE(rx);
    EXPECT_EQ(rx->micros, 2760762072);
    EXPECT_EQ(rx->deck, 1);
    EXPECT_EQ(rx->event, "rx");
    EXPECT_EQ(rx->detail, "61 20 05 86");
    const auto start = parseDeckLine("0.000001 0 start");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->micros, 1);
    EXPECT_EQ(start->detail, "");
    for (const char* bad : {"", "2760 1 rx 61", "2760.76207 1 rx 61", "2760.7620721 1 rx",
                            "x.762072 1 rx", "2760.762072 one rx", "2760.762072 1",
                            "2760.-62072 1 rx", "99999999999999.000000 1 rx"}) {
        EXPECT_FALSE(parseDeckLine(bad)) << bad;
    }
}

TEST(SystemLogLines, SlotEventsAreMovedOntoTheDeckClock) {
    const auto change = parseSlotLine("100.000250 change dev=201 slot=1 result=1 text=2", -250);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->micros, 100000000);
    EXPECT_EQ(change->event, "change");
    EXPECT_EQ(change->device, 201u);
    EXPECT_EQ(change->slot, 1u);
    EXPECT_EQ(change->text, "2");
    const auto write = parseSlotLine("5.000000 write dev=209 slot=3 message=2726 text=1,0,", 7);
    ASSERT_TRUE(write);
    EXPECT_EQ(write->micros, 5000007);
    EXPECT_EQ(write->text, "1,0,");
    // Other events, and events without a device or slot, take no part.
    EXPECT_FALSE(parseSlotLine("5.000000 read dev=201 slot=2 answered=1 text=1", 0));
    EXPECT_FALSE(parseSlotLine("5.000000 ready process=12 devices=201", 0));
    EXPECT_FALSE(parseSlotLine("5.000000 write slot=2 text=1", 0));
    EXPECT_FALSE(parseSlotLine("5.000000 write dev=x slot=2 text=1", 0));
    EXPECT_FALSE(parseSlotLine("not an event", 0));
}

TEST(SystemFigures, PercentilesAreNearestRank) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);  // unsorted on purpose
    EXPECT_EQ(percentile(hundred, 50), 50);
    EXPECT_EQ(percentile(hundred, 99), 99);
    EXPECT_EQ(percentile(hundred, 100), 100);
    EXPECT_EQ(percentile({7}, 99), 7);
    EXPECT_EQ(percentile({3, 1, 2}, 50), 2);
    EXPECT_EQ(percentile({}, 99), 0);
}

SystemLogs logsOf(std::vector<DeckEvent> deck, std::vector<SlotEvent> slots) {
    SystemLogs logs;
    logs.deck = std::move(deck);
    logs.slots = std::move(slots);
    logs.baseDevice = 201;
    return logs;
}

TEST(SystemFigures, ACommandReachesTheWireAtItsOwnDeckPastThePolls) {
    const SystemLogs logs = logsOf(
        {
            {999'000, 1, "rx", "20 01 21"},       // before the write: not its frame
            {1'000'100, 2, "rx", "20 01 21"},     // another deck
            {1'000'200, 1, "rx", "61 20 05 86"},  // a poll that was already going out
            {1'000'300, 1, "tx", "10 01 11"},
            {1'001'500, 1, "rx", "20 01 21"},     // the command: 1.5 ms
            {3'000'900, 1, "rx", "61 0c 01 6e"},  // the second write never reached the wire
            {5'002'000, 1, "rx", "20 00 20"},     // the third: 2 ms
            {9'000'100, 1, "rx", "20 00 20"},     // after `until`
        },
        {
            {1'000'000, "change", 201, 1, "2"},
            {1'000'050, "change", 201, 10, "40"},  // not slot 1
            {3'000'000, "change", 201, 1, "1"},
            {5'000'000, "change", 201, 1, "1"},
            {6'000'000, "change", 300, 1, "1"},  // not one of the nine
            {9'000'000, "change", 201, 1, "1"},  // at `until`
        });
    const Samples samples = commandToWire(logs, 9'000'000);
    ASSERT_EQ(samples.values.size(), 2u);
    EXPECT_DOUBLE_EQ(samples.values[0], 1.5);
    EXPECT_DOUBLE_EQ(samples.values[1], 2.0);
    EXPECT_EQ(samples.missing, 1);
}

TEST(SystemFigures, ATransportCommandEndsWhenSlotTwoShowsItsState) {
    const SystemLogs logs =
        logsOf({}, {
                       {1'000'000, "change", 202, 1, "2"},
                       {1'100'000, "write", 201, 2, "2"},  // another VT's state
                       {1'200'000, "write", 202, 3, "0,0,"},
                       {1'300'000, "write", 202, 2, "1"},  // not the state asked for
                       {1'700'000, "write", 202, 2, "2"},  // 700 ms
                       {2'000'000, "change", 202, 1, "1"},
                       {3'000'000, "change", 202, 1, "2"},   // came before the stop showed: missing
                       {3'500'000, "write", 202, 2, "2"},    // 500 ms
                       {4'000'000, "change", 202, 1, "21"},  // a cue: not a transport state here
                   });
    EXPECT_EQ(lastCommandTime(logs), 4'000'000);
    EXPECT_EQ(lastCommandTime(logsOf({}, {{1, "change", 202, 2, "x"}})), INT64_MIN);
    const Samples samples = commandToState(logs, INT64_MAX);
    ASSERT_EQ(samples.values.size(), 2u);
    EXPECT_DOUBLE_EQ(samples.values[0], 700.0);
    EXPECT_DOUBLE_EQ(samples.values[1], 500.0);
    EXPECT_EQ(samples.missing, 1);
}

TEST(SystemFigures, PollRoundsArePerDeckWithinTheWindow) {
    const SystemLogs logs = logsOf(
        {
            {0, 1, "rx", "61 20 05 86"},  // before the window
            {1'000'000, 1, "rx", "61 20 05 86"},
            {1'125'000, 2, "rx", "61 20 05 86"},
            {1'500'000, 1, "rx", "61 0c 01 6e"},  // a timecode request
            {1'600'000, 1, "tx", "61 20 05 86"},  // not a request
            {2'125'000, 1, "rx", "61 20 05 86"},  // deck 1: 1125
            {2'260'000, 2, "rx", "61 20 05 86"},  // deck 2: 1135
            {3'240'000, 1, "rx", "61 20 05 86"},  // deck 1: 1115
            {4'500'000, 1, "rx", "61 20 05 86"},  // after the window
        },
        {});
    const Samples samples = pollRounds(logs, 500'000, 4'000'000);
    ASSERT_EQ(samples.values.size(), 3u);
    EXPECT_DOUBLE_EQ(samples.values[0], 1125.0);
    EXPECT_DOUBLE_EQ(samples.values[1], 1135.0);
    EXPECT_DOUBLE_EQ(samples.values[2], 1115.0);
}

TEST(SystemFigures, ASilentDeckEndsAtTheFirstFailureInItsSlotThree) {
    std::vector<SlotEvent> slots = {
        {1'100'000, "write", 203, 3, "0,0,"},  // still answering
        {1'300'000, "write", 203, 3, "1,0,"},  // deck 3: 1300 ms after the fault
    };
    for (std::uint32_t device = 201; device <= 209; ++device) {
        if (device != 209) slots.push_back({3'000'000, "write", device, 3, "1,0,"});
    }
    std::sort(slots.begin(), slots.end(),
              [](const SlotEvent& a, const SlotEvent& b) { return a.micros < b.micros; });
    const SystemLogs logs = logsOf(
        {
            {0, 0, "ctl", "deck 3 fault silent"},
            {500'000, 0, "ctl", "deck 3 clear"},
            {800'000, 0, "ctl", "deck 1 fault delay 5"},
            {2'000'000, 0, "ctl", "deck all fault silent"},
        },
        slots);
    EXPECT_EQ(firstFaultTime(logs), 0);
    const Samples samples = silentToFailure(logs);
    ASSERT_EQ(samples.values.size(), 9u);  // deck 3 once alone, then 1 to 8 of "all"
    EXPECT_DOUBLE_EQ(samples.values[0], 1300.0);
    for (std::size_t i = 1; i < 9; ++i) EXPECT_DOUBLE_EQ(samples.values[i], 1000.0);
    EXPECT_EQ(samples.missing, 1);  // deck 9 never failed
}

TEST(SystemFigures, TheTableShowsCountMissingAndSpread) {
    Samples samples;
    samples.values = {2.0, 1.0, 4.0};
    samples.missing = 2;
    const std::string row = tableRow("slot write -> frame at deck", samples);
    EXPECT_EQ(row,
              "slot write -> frame at deck                3    2     2.000     4.000     "
              "1.000     4.000");
    EXPECT_EQ(tableHeader().size(), row.size());
    EXPECT_EQ(tableRow("empty", Samples{}).substr(39),
              "    0    0     0.000     0.000     "
              "0.000     0.000");
}

}  // namespace
}  // namespace korvel::bench
