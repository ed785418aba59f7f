#include "config/decimal.h"

#include <gtest/gtest.h>

namespace korvel::config {
namespace {

TEST(DecimalValue, ReadsTheLeadingNumberLikeTheCLibrary) {
    EXPECT_EQ(decimalValue("38400"), 38400);
    EXPECT_EQ(decimalValue("  \t-7"), -7);
    EXPECT_EQ(decimalValue("+5"), 5);
    EXPECT_EQ(decimalValue("12abc"), 12);
    EXPECT_EQ(decimalValue("5,7"), 5);
    EXPECT_EQ(decimalValue("1.2.3"), 1);
}

TEST(DecimalValue, TextWithoutDigitsGivesZero) {
    EXPECT_EQ(decimalValue(""), 0);
    EXPECT_EQ(decimalValue("abc"), 0);
    EXPECT_EQ(decimalValue("--5"), 0);
    EXPECT_EQ(decimalValue("- 5"), 0);
    EXPECT_EQ(decimalValue(",7"), 0);
    EXPECT_EQ(decimalValue(nullptr), 0);
}

TEST(DecimalValue, NumbersBeyond32BitsStopAtTheLimits) {
    EXPECT_EQ(decimalValue("2147483647"), 2147483647);
    EXPECT_EQ(decimalValue("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(decimalValue("2147483648"), 2147483647);
    EXPECT_EQ(decimalValue("99999999999"), 2147483647);
    EXPECT_EQ(decimalValue("-99999999999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace korvel::config
