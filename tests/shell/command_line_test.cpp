#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace korvel::shell {
namespace {

TEST(DeviceNumberFromCommandLine, TakesTheLeadingNumberByTheTextToIntegerRules) {
    EXPECT_EQ(deviceNumberFromCommandLine("101"), 101);
    EXPECT_EQ(deviceNumberFromCommandLine("12abc"), 12);
    EXPECT_EQ(deviceNumberFromCommandLine(" \t 42 99"), 42);
    EXPECT_EQ(deviceNumberFromCommandLine("+7"), 7);
    EXPECT_EQ(deviceNumberFromCommandLine("-5"), -5);
    EXPECT_EQ(deviceNumberFromCommandLine("007"), 7);
}

TEST(DeviceNumberFromCommandLine, GivesZeroWithoutDigits) {
    EXPECT_EQ(deviceNumberFromCommandLine(""), 0);
    EXPECT_EQ(deviceNumberFromCommandLine("abc"), 0);
    EXPECT_EQ(deviceNumberFromCommandLine("  -"), 0);
    EXPECT_EQ(deviceNumberFromCommandLine("- 5"), 0);
    EXPECT_EQ(deviceNumberFromCommandLine(nullptr), 0);
}

TEST(DeviceNumberFromCommandLine, NumbersBeyondIntStopAtItsEnds) {
    EXPECT_EQ(deviceNumberFromCommandLine("2147483647"), INT_MAX);
    EXPECT_EQ(deviceNumberFromCommandLine("2147483648"), INT_MAX);
    EXPECT_EQ(deviceNumberFromCommandLine("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(deviceNumberFromCommandLine("-2147483648"), INT_MIN);
    EXPECT_EQ(deviceNumberFromCommandLine("-99999999999999999999999"), INT_MIN);
}

TEST(DeviceNumberFromCommandLine, LooksAtTheFirst254CharactersOnly) {
    // A number that straddles the limit loses its digits past it.
    EXPECT_EQ(deviceNumberFromCommandLine((std::string(250, ' ') + "12345").c_str()), 1234);
    EXPECT_EQ(deviceNumberFromCommandLine((std::string(254, ' ') + "12").c_str()), 0);
    // A very long line of digits is read safely.
    EXPECT_EQ(deviceNumberFromCommandLine(std::string(5000, '9').c_str()), INT_MAX);
}

}  // namespace
}  // namespace korvel::shell
