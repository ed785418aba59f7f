#include <gtest/gtest.h>

#include "sim/vtr/options.h"

namespace korvel::sim::vtr {
namespace {

using namespace std::chrono_literals;

OptionsParse parse(std::vector<std::string_view> args) {
    return parseOptions(args);
}

TEST(Options, LinksCommandsAndSettingsAreTaken) {
    const OptionsParse p = parse({"--link", "/tmp/a", "--link=/tmp/b", "--control", "/tmp/c",
                                  "--log=/tmp/l", "--command", "deck 1 fault silent", "--start-tc",
                                  "01:02:03:04", "--cue-time", "0", "--byte-timeout=20"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->links, (std::vector<std::string>{"/tmp/a", "/tmp/b"}));
    EXPECT_EQ(p.options->controlPath, "/tmp/c");
    EXPECT_EQ(p.options->logPath, "/tmp/l");
    EXPECT_EQ(p.options->commands, std::vector<std::string>{"deck 1 fault silent"});
    EXPECT_EQ(p.options->deck.transport.startFrames, ((1 * 60 + 2) * 60 + 3) * 25 + 4);
    EXPECT_EQ(p.options->deck.transport.cueTime, 0ms);
    EXPECT_EQ(p.options->deck.byteTimeout, 20ms);
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
