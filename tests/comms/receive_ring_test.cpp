#include "comms/receive_ring.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace korvel::comms {
namespace {

std::vector<std::uint8_t> counting(int length, int start = 0) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) bytes[static_cast<std::size_t>(i)] = (start + i) & 0xFF;
    return bytes;
}

std::unique_ptr<ReceiveRing> makeRing() {
    auto ring = ReceiveRing::create();
    EXPECT_NE(ring, nullptr);
    return ring;
}

TEST(ReceiveRingTest, BytesComeOutInOrderAcrossTheEndOfTheBuffer) {
    auto ring = makeRing();
    std::vector<std::uint8_t> out(16384);
    ASSERT_EQ(ring->push(counting(16000).data(), 16000), 16000);
    ASSERT_EQ(ring->pop(out.data(), 16000), 16000);
    EXPECT_EQ(ring->count(), 0);

    const auto burst = counting(1000, 7);  // 384 bytes to the end, 616 from the start
    ASSERT_EQ(ring->push(burst.data(), 1000), 1000);
    EXPECT_EQ(ring->count(), 1000);
    ASSERT_EQ(ring->pop(out.data(), 1000), 1000);
    EXPECT_TRUE(std::equal(burst.begin(), burst.end(), out.begin()));
}

TEST(ReceiveRingTest, AFullRingKeepsWhatWaitsAndDropsTheExcess) {
    auto ring = makeRing();
    const auto bytes = counting(ReceiveRing::kCapacity);
    ASSERT_EQ(ring->push(bytes.data(), ReceiveRing::kCapacity), 16383);
    EXPECT_EQ(ring->count(), 16383);

    const std::uint8_t more[3] = {0xAA, 0xBB, 0xCC};
    EXPECT_EQ(ring->push(more, 3), 0);
    EXPECT_EQ(ring->count(), 16383);

    // One byte out makes room for exactly one byte in.
    std::vector<std::uint8_t> out(ReceiveRing::kSize);
    ASSERT_EQ(ring->pop(out.data(), 1), 1);
    EXPECT_EQ(ring->push(more, 3), 1);
    ASSERT_EQ(ring->pop(out.data(), ReceiveRing::kSize), 16383);
    EXPECT_TRUE(std::equal(bytes.begin() + 1, bytes.end(), out.begin()));
    EXPECT_EQ(out[16382], 0xAA);
}

TEST(ReceiveRingTest, APopTakesWhatThereIsAndBadArgumentsTakeNothing) {
    auto ring = makeRing();
    std::uint8_t out[64] = {};
    EXPECT_EQ(ring->pop(out, 64), 0);

    const auto bytes = counting(10);
    EXPECT_EQ(ring->push(nullptr, 10), 0);
    EXPECT_EQ(ring->push(bytes.data(), 0), 0);
    EXPECT_EQ(ring->push(bytes.data(), -5), 0);
    ASSERT_EQ(ring->push(bytes.data(), 10), 10);
    EXPECT_EQ(ring->pop(out, 0), 0);
    EXPECT_EQ(ring->pop(out, -1), 0);
    EXPECT_EQ(ring->pop(nullptr, 10), 0);
    EXPECT_EQ(ring->pop(out, 64), 10);
    EXPECT_EQ(ring->pop(out, 64), 0);
}

}  // namespace
}  // namespace korvel::comms
