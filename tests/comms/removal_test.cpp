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

TEST(RemovalTest, AReaderTouchesNothingOnceUnwantedAndNeverPurgesAfterAnAbortedOrEmptyRead) {
    for (bool failed : {false, true}) {
        for (std::uint32_t error : {0u, 995u, 1117u, 1167u}) {
            for (int bytes : {0, 1, 256}) {
                EXPECT_EQ(readerStepAfterRead(false, failed, error, bytes), ReaderStep::stop);
            }
        }
    }
    EXPECT_EQ(readerStepAfterRead(true, false, 0, 3), ReaderStep::deliver);
    EXPECT_EQ(readerStepAfterRead(true, false, 0, 0), ReaderStep::rest);   // empty
    EXPECT_EQ(readerStepAfterRead(true, true, 995, 0), ReaderStep::rest);  // aborted
    EXPECT_EQ(readerStepAfterRead(true, true, 1117, 0), ReaderStep::checkDevice);
    EXPECT_EQ(readerStepAfterRead(true, true, 1167, 0), ReaderStep::checkDevice);
}

}  // namespace
}  // namespace korvel::comms
