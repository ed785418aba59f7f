#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/command_table.h"
#include "engine/frame.h"
#include "support/engine_fixture.h"

namespace korvel::engine {
namespace {

using testing::hex;

std::string planned(unsigned number, std::int32_t value = 0, Timecode cue = {}) {
    CommandPlan plan = planCommand(number, value, cue);
    if (!plan.sendsFrame) return "";
    const int length = completeFrame(plan.frame);
    return hex(testing::Bytes(plan.frame.begin(), plan.frame.begin() + length));
}

struct TableRow {
    unsigned number;
    std::string frame;  // with its checksum
    const char* panelText;
    std::vector<unsigned> followUps;
};

TEST(CommandTable, EveryCommandHasItsFrameTextAndFollowUps) {
    const Timecode cue{0x10, 0x20, 0x30, 0x01};
    const std::vector<TableRow> table = {
        {1, "20 00 20", "Stop", {12, 97}},
        {2, "20 01 21", "Play", {23, 99}},
        {3, "20 02 22", "Rec", {23, 99, 93}},
        {4, "20 20 40", "Rew", {23, 99}},
        {5, "20 10 30", "FFwd", {23, 99}},
        {6, "20 0F 2F", "Eject", {99}},
        {7, "21 12 0A 3D", "VAR", {23, 99}},
        {8, "21 13 0A 3E", "SHUTL", {23, 99}},
        {9, "21 11 0A 3C", "JOG", {23, 99}},
        {11, "20 04 24", "SB Off", {99}},
        {12, "20 05 25", nullptr, {99}},
        {20, "20 30 50", nullptr, {}},
        {21, "24 31 10 20 30 01 B6", "Cue", {}},
        {22, "", "SetCue", {}},  // takes the timecode as cue point, sends nothing
        {23, "61 0C 01 6E", nullptr, {}},
        {31, "44 14 10 20 30 01 B9", nullptr, {}},
        {32, "40 10 50", nullptr, {}},
        {33, "44 15 10 20 30 01 BA", nullptr, {}},
        {34, "40 11 51", nullptr, {}},
        {41, "A3 32 09 01 00 DF", nullptr, {}},
        {42, "A3 33 09 01 00 E0", nullptr, {}},
        {43, "A3 33 09 00 00 DF", nullptr, {}},
        {44, "A3 35 09 00 00 E1", nullptr, {}},
        {51, "25 A7 40 01 00 00 0A 17", nullptr, {}},
        {52, "22 AC 00 0A D8", nullptr, {}},
        {93, "61 20 09 8A", nullptr, {}},
        {96, "20 63 83", nullptr, {}},
        {97, "20 60 80", nullptr, {}},
        {98, "20 61 81", nullptr, {}},
        {99, "61 20 05 86", nullptr, {}},
    };
    for (const TableRow& row : table) {
        SCOPED_TRACE(row.number);
        const CommandPlan plan = planCommand(row.number, 10, cue);
        EXPECT_TRUE(plan.known);
        EXPECT_EQ(planned(row.number, 10, cue), row.frame);
        EXPECT_STREQ(plan.panelText ? plan.panelText : "", row.panelText ? row.panelText : "");
        EXPECT_EQ(std::vector<unsigned>(plan.followUps, plan.followUps + plan.followUpCount),
                  row.followUps);
    }
    // Every row of the table has its expected frame here: a new row without one fails.
    std::set<unsigned> expected;
    for (const TableRow& row : table) expected.insert(row.number);
    for (const CommandRow& row : commandTable()) {
        EXPECT_EQ(expected.count(row.number), 1u) << "no expected frame for command " << row.number;
    }
    EXPECT_EQ(expected.size(), commandTable().size());
}

TEST(CommandTable, SpeedsTakeTheLowByteOfTheMagnitudeAndTheSignForDirection) {
    EXPECT_EQ(planned(9, -300), "21 21 2C 6E");
    EXPECT_EQ(planned(7, 0), "21 12 00 33");
    EXPECT_EQ(planned(7, -64), "21 22 40 83");
    EXPECT_EQ(planned(8, -20), "21 23 14 58");
    // The most negative value has no positive twin; its magnitude must not overflow.
    EXPECT_EQ(planned(8, INT32_MIN), "21 23 00 44");
}

TEST(CommandTable, GroupTwoCommandsCarryTheLow16BitsHighByteFirst) {
    EXPECT_EQ(planned(52, 258), "22 AC 01 02 D1");
    EXPECT_EQ(planned(52, -1), "22 AC FF FF CC");
    EXPECT_EQ(planned(51, 1000), "25 A7 40 01 00 03 E8 F8");
}

TEST(CommandTable, NumbersOutsideTheTableAreUnknownAndSetCueSendsNothing) {
    for (unsigned number : {0u, 10u, 13u, 24u, 100u, 4294967295u}) {
        EXPECT_FALSE(planCommand(number, 0, {}).known) << number;
    }
    const CommandPlan setCue = planCommand(22, 0, {});
    EXPECT_TRUE(setCue.known);
    EXPECT_FALSE(setCue.sendsFrame);
    EXPECT_STREQ(setCue.panelText, "SetCue");
}

// Every frame the table builds, with any value and cue point, is told back as its own command
// whatever its argument kind (the two group A 33 commands differ in a fixed byte only), and
// each has a name.
TEST(CommandTable, EveryFrameIsToldBackAsItsCommand) {
    std::mt19937 random(5);
    for (const CommandRow& row : commandTable()) {
        ASSERT_NE(commandName(row.number), nullptr) << row.number;
        for (int i = 0; i < 200; ++i) {
            const auto value = static_cast<std::int32_t>(random());
            const Timecode cue{
                static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random())};
            CommandPlan plan = planCommand(row.number, value, cue);
            if (!plan.sendsFrame) break;
            const int length = completeFrame(plan.frame);
            const FrameCommand told = commandOfFrame(plan.frame.data(), length);
            ASSERT_EQ(told.number, row.number)
                << hex(testing::Bytes(plan.frame.begin(), plan.frame.begin() + length));
            EXPECT_EQ(told.reverse, row.argument == ArgumentKind::kSpeed && value < 0)
                << row.number;
        }
    }
    EXPECT_EQ(commandName(10), nullptr);
    const std::uint8_t notOurs[] = {0x20, 0x99, 0xB9};
    EXPECT_EQ(commandOfFrame(notOurs, 3).number, 0u);
    EXPECT_EQ(commandOfFrame(notOurs, 2).number, 0u);  // too short for any frame
}

TEST(Timecode, FlagBitsAreMaskedAndTheTextReadsHoursFirst) {
    const Timecode clean = withoutFlagBits(Timecode{0x45, 0x59, 0x59, 0xA3});
    EXPECT_EQ(clean, (Timecode{0x05, 0x59, 0x59, 0x23}));
    EXPECT_STREQ(formatTimecode(clean).text, "23.59.59.05");
    EXPECT_EQ(toBcd(59), 0x59);
    EXPECT_EQ(toBcd(7), 0x07);
    EXPECT_EQ(toBcd(255), 0x95);  // out of range: cut to a byte, not refused
}

}  // namespace
}  // namespace korvel::engine
