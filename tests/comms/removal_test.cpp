#include "comms/removal.h"

#include <gtest/gtest.h>

namespace korvel::comms {
namespace {

constexpr std::uint32_t kRemovalErrors[] = {2, 5, 6, 22, 31, 433, 1167, 1617};
// Success (an empty read), aborted, I/O device error, bad length, semaphore time-out.
constexpr std::uint32_t kOtherErrors[] = {0, 995, 1117, 24, 121};

TEST(RemovalTest, OnlyWhatARemovedDeviceGivesMeansGone) {
    for (std::uint32_t error : kRemovalErrors) {
        EXPECT_TRUE(deviceGone(FailedCall{error, false, 0})) << error;
        EXPECT_TRUE(deviceGone(FailedCall{error, false, 1})) << error;
    }
    for (std::uint32_t error : kOtherErrors) {
        // A line error that clearing the error state cured, an aborted operation.
        EXPECT_FALSE(deviceGone(FailedCall{error, false, 0})) << error;
        EXPECT_FALSE(deviceGone(FailedCall{error, false, kFailedReadsOfARemovedDevice - 1}))
            << error;
        // A status call that still fails once the error state is cleared.
        EXPECT_TRUE(deviceGone(FailedCall{error, true, 0})) << error;
        // Reads that keep failing while status calls answer (from cached state).
        EXPECT_TRUE(deviceGone(FailedCall{error, false, kFailedReadsOfARemovedDevice})) << error;
    }
    // Reads this program cancelled or purged away say nothing about the device.
    EXPECT_FALSE(countsAsFailedRead(995));
    EXPECT_TRUE(countsAsFailedRead(0));
    EXPECT_TRUE(countsAsFailedRead(1117));
}

}  // namespace
}  // namespace korvel::comms
