#include <gtest/gtest.h>

#include "sim/vtr/options.h"

namespace korvel::sim::vtr {
namespace {

using namespace std::chrono_literals;

OptionsParse parse(std::vector<std::string_view> args) {
    return parseOptions(args);
}

TEST(Options, LinksCommandsAndSettingsAreTaken) {
    const OptionsParse p = parse(
        {"--link", "/tmp/a", "--port", "/dev/ttyS0,9600,7,e,2", "--port=/dev/ttyUSB0",
         "--link=/tmp/b", "--control", "/tmp/c", "--log=/tmp/l", "--command", "deck 1 fault silent",
         "--start-tc", "01:02:03:04", "--cue-time", "0", "--byte-timeout=20", "--model", "20e1"});
    ASSERT_TRUE(p.options) << p.error;
    // Decks in the order given; a device takes the driver's line settings unless told.
    EXPECT_EQ(p.options->ports, (std::vector<PortOption>{{false, "/tmp/a", {}},
                                                         {true, "/dev/ttyS0", {9600, 7, 'E', 2}},
                                                         {true, "/dev/ttyUSB0", {38400, 8, 'O', 1}},
                                                         {false, "/tmp/b", {}}}));
    for (const char* wrong : {"/dev/ttyS0,fast", "/dev/ttyS0,9600,9", "/dev/ttyS0,9600,8,X",
                              "/dev/ttyS0,9600,8,N,3", ",9600", "/dev/ttyS0,1,2,3,4,5"})
        EXPECT_FALSE(parse({"--port", wrong}).options) << wrong;
    EXPECT_EQ(p.options->controlPath, "/tmp/c");
    EXPECT_EQ(p.options->logPath, "/tmp/l");
    EXPECT_EQ(p.options->commands, std::vector<std::string>{"deck 1 fault silent"});
    EXPECT_EQ(p.options->deck.transport.startFrames, ((1 * 60 + 2) * 60 + 3) * 25 + 4);
    EXPECT_EQ(p.options->deck.transport.cueTime, 0ms);
    EXPECT_EQ(p.options->deck.byteTimeout, 20ms);
    EXPECT_EQ(p.options->deck.model, (ModelBytes{0x20, 0xE1}));
    const OptionsParse deck = parse(
        {"--link", "/tmp/a", "--user-bits", "0123ABcd", "--cue-speed", "0", "--lock-frames=12"});
    ASSERT_TRUE(deck.options) << deck.error;
    EXPECT_EQ(deck.options->deck.userBits, (UserBits{0x01, 0x23, 0xAB, 0xCD}));
    EXPECT_EQ(deck.options->deck.transport.cueSpeed, 0);
    EXPECT_EQ(deck.options->deck.transport.lockFrames, 12);
    EXPECT_FALSE(p.options->help);
}

TEST(Options, MistakesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string_view>> wrong = {
        {},
        {"--control", "/tmp/c"},
        {"--link"},
        {"--link="},
        {"--link", "/tmp/a", "--frobnicate", "1"},
        {"--link", "/tmp/a", "--link=/tmp/a"},
        {"--link", "/tmp/a", "--start-tc", "25:00:00:00"},
        {"--link", "/tmp/a", "--cue-time", "-1"},
        {"--link", "/tmp/a", "--byte-timeout", "fast"},
        {"--link", "/tmp/a", "--model", "212"},
        {"--link", "/tmp/a", "--model", "0x21"},
    };
    for (const auto& args : wrong) {
        const OptionsParse p = parse(args);
        EXPECT_FALSE(p.options);
        EXPECT_FALSE(p.error.empty());
    }
    const OptionsParse help = parse({"--help"});
    ASSERT_TRUE(help.options);
    EXPECT_TRUE(help.options->help);
}

}  // namespace
}  // namespace korvel::sim::vtr
