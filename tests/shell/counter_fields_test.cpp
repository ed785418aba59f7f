#include "shell/counter_fields.h"

#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace korvel::shell {
namespace {

std::string counterText(std::uint32_t value) {
    char text[kCounterTextSize];
    formatCounter(value, text);
    return text;
}

TEST(FormatCounter, EightDigitsZeroPaddedAndLargerValuesInFull) {
    EXPECT_EQ(counterText(0), "00000000");
    EXPECT_EQ(counterText(42), "00000042");
    EXPECT_EQ(counterText(99999999), "99999999");
    EXPECT_EQ(counterText(100000000), "100000000");
    // Past 2^31 a counter stays positive.
    EXPECT_EQ(counterText(0x80000000u), "2147483648");
    EXPECT_EQ(counterText(0xFFFFFFFFu), "4294967295");
}

class CounterRefresh : public testing::EngineTest {};

TEST_F(CounterRefresh, WritesTheConfiguredVtsAndLeavesTheOthersAlone) {
    engine::VtDevice& vt1 = addDevice(1);
    engine::VtDevice& vt3 = addDevice(3);
    host.panel[{engine::kTxCountField, 2}] =
        "00000000";  // VT 2 has no device: its text must stay as it is
    host.panel[{engine::kRxCountField, 2}] = "00000000";
    vt1.txCount = 12;
    vt1.rxCount = 11;
    vt3.txCount = 123456789;
    vt3.rxCount = 0;

    refreshCounterFields(host);

    EXPECT_EQ(host.panelOf(engine::kTxCountField, 1), "00000012");
    EXPECT_EQ(host.panelOf(engine::kRxCountField, 1), "00000011");
    EXPECT_EQ(host.panelOf(engine::kTxCountField, 3), "123456789");
    EXPECT_EQ(host.panelOf(engine::kRxCountField, 3), "00000000");
    EXPECT_EQ(host.panelOf(engine::kTxCountField, 2), "00000000");
    EXPECT_EQ(host.panelOf(engine::kRxCountField, 2), "00000000");
    for (int n = 4; n <= 9; ++n) {
        EXPECT_EQ(host.panelCount(engine::kTxCountField, n), 0u) << n;
        EXPECT_EQ(host.panelCount(engine::kRxCountField, n), 0u) << n;
    }
}

TEST_F(CounterRefresh, TotalsAreTheSumsOfTheInfodriverCountersNotOfTheSerialFields) {
    engine::VtDevice& vt1 = addDevice(1);
    engine::VtDevice& vt2 = addDevice(2);
    vt1.infodriverTxCount = 5;
    vt1.infodriverRxCount = 7;
    vt2.infodriverTxCount = 10;
    vt2.infodriverRxCount = 20;
    vt1.txCount = 1000;  // serial counts play no part in the totals
    vt2.rxCount = 2000;

    refreshCounterFields(host);

    EXPECT_EQ(host.panelOf(engine::kInfodriverTxField, 0), "00000015");
    EXPECT_EQ(host.panelOf(engine::kInfodriverRxField, 0), "00000027");
}

TEST_F(CounterRefresh, WithoutDevicesTheTotalsReadZero) {
    host.panel[{engine::kInfodriverTxField, 0}] = "00000099";
    refreshCounterFields(host);
    EXPECT_EQ(host.panelOf(engine::kInfodriverTxField, 0), "00000000");
    EXPECT_EQ(host.panelOf(engine::kInfodriverRxField, 0), "00000000");
}

}  // namespace
}  // namespace korvel::shell
