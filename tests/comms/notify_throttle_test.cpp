#include "comms/notify_throttle.h"

#include <gtest/gtest.h>

namespace korvel::comms {
namespace {

TEST(NotifyThrottleTest, OneNotificationPer100MsUntilARead) {
    NotifyThrottle throttle;
    EXPECT_TRUE(throttle.onDelivery(5000, 1));
    EXPECT_FALSE(throttle.onDelivery(5010, 2));
    EXPECT_FALSE(throttle.onDelivery(5099, 3));
    EXPECT_TRUE(throttle.onDelivery(5100, 4));
    throttle.onRead();
    EXPECT_TRUE(throttle.onDelivery(5101, 1));
    EXPECT_FALSE(throttle.onDelivery(5102, 2));
}

TEST(NotifyThrottleTest, MoreThan8192WaitingNotifiesEveryDelivery) {
    NotifyThrottle throttle;
    EXPECT_TRUE(throttle.onDelivery(1, 8000));
    EXPECT_FALSE(throttle.onDelivery(2, 8192));
    EXPECT_TRUE(throttle.onDelivery(3, 8193));
    EXPECT_TRUE(throttle.onDelivery(3, 9000));
}

TEST(NotifyThrottleTest, IntervalIsMeasuredAcrossTheWrapOfTheTick) {
    NotifyThrottle throttle;
    EXPECT_TRUE(throttle.onDelivery(0xFFFFFFF0u, 1));
    EXPECT_FALSE(throttle.onDelivery(0x00000010u, 2));  // 32 ms later
    EXPECT_TRUE(throttle.onDelivery(0x00000054u, 3));   // 100 ms later
}

}  // namespace
}  // namespace korvel::comms
