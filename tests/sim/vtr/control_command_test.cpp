#include <gtest/gtest.h>

#include "sim/vtr/control_command.h"

namespace korvel::sim::vtr {
namespace {

using Action = ControlCommand::Action;

TEST(ControlLine, FaultsAndSwitchesParseWithTheirValues) {
    struct Case {
        const char* line;
        int deck;
        Action action;
        int value;
        std::uint8_t nakError;
    };
    const Case cases[] = {
        {"deck 1 fault silent", 1, Action::kSilent, 0, 0x04},
        {"deck 2 fault corrupt", 2, Action::kCorrupt, 0, 0x04},
        {"deck 2 fault nak 3", 2, Action::kNak, 3, 0x04},
        {"deck 3 fault nak 1 80", 3, Action::kNak, 1, 0x80},
        {"deck 1 fault garbage", 1, Action::kGarbage, kDefaultGarbageBytes, 0x04},
        {"deck 1 fault garbage 7", 1, Action::kGarbage, 7, 0x04},
        {"deck 1 fault split", 1, Action::kSplit, kDefaultSplitMs, 0x04},
        {"deck 1 fault split 30", 1, Action::kSplit, 30, 0x04},
        {"  deck\t1 fault delay 250\r", 1, Action::kDelay, 250, 0x04},
        {"deck 9 fault closed", 9, Action::kClosed, 0, 0x04},
        {"deck 2 fault echo", 2, Action::kEcho, 0, 0x04},
        {"deck 2 fault invert", 2, Action::kInvert, 0, 0x04},
        {"deck all clear", ControlCommand::kAllDecks, Action::kClear, 0, 0x04},
        {"deck 1 local on", 1, Action::kLocal, 1, 0x04},
        {"deck 1 tape out", 1, Action::kTape, 0, 0x04},
        {"deck 1 inhibit off", 1, Action::kInhibit, 0, 0x04},
        {"deck 2 show", 2, Action::kShow, 0, 0x04},
    };
    for (const Case& c : cases) {
        const ControlParse parse = parseControlLine(c.line);
        ASSERT_TRUE(parse.command) << c.line << ": " << parse.error;
        EXPECT_EQ(parse.command->deck, c.deck) << c.line;
        EXPECT_EQ(parse.command->action, c.action) << c.line;
        EXPECT_EQ(parse.command->value, c.value) << c.line;
        EXPECT_EQ(parse.command->nakError, c.nakError) << c.line;
    }
}

TEST(ControlLine, MalformedLinesAreRefusedWithAReason) {
    const char* lines[] = {"",
                           "deck",
                           "deck 1",
                           "deck 0 clear",
                           "deck -1 clear",
                           "deck x clear",
                           "deck 1 fault",
                           "deck 1 fault loud",
                           "deck 1 fault nak",
                           "deck 1 fault nak -2",
                           "deck 1 fault nak 2 100",
                           "deck 1 fault nak 2 zz",
                           "deck 1 fault delay",
                           "deck 1 fault delay 99999999999",
                           "deck 1 fault split 5 6",
                           "deck 1 fault silent now",
                           "deck 1 clear all",
                           "deck 1 show me",
                           "deck 1 local maybe",
                           "deck 1 tape",
                           "vt 1 clear"};
    for (const char* line : lines) {
        const ControlParse parse = parseControlLine(line);
        EXPECT_FALSE(parse.command) << line;
        EXPECT_FALSE(parse.error.empty()) << line;
    }
}

}  // namespace
}  // namespace korvel::sim::vtr
