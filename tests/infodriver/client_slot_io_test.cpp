#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client_test_support.h"

namespace korvel::infodriver::testing {
namespace {

using Kind = InProcessTransport::Call::Kind;

class ClientSlotIo : public InProcessClientTest {
  protected:
    void SetUp() override {
        InProcessClientTest::SetUp();
        ASSERT_EQ(client.connect(10), kStatusConnected);
        client.setCounters(&tx, &rx);
        world.calls.clear();
    }

    std::vector<InProcessTransport::Call> slotCalls() const { return callsOf(Kind::slotTraffic); }

    std::uint32_t tx = 0;
    std::uint32_t rx = 0;
    InfodriverClient client;
};

TEST_F(ClientSlotIo, WriteFormatsCountsAndSendsWithTheTerminatorCounted) {
    client.writeSlot(4, "%d,%d,", 1, 0);
    client.writeSlot(7, "%s", "");
    ASSERT_EQ(slotCalls().size(), 2u);
    const auto first = slotCalls()[0];
    EXPECT_EQ(first.window, infodriver.window());
    EXPECT_EQ(first.message, IFMSG_SLOTWRITE);
    EXPECT_EQ(first.wParam, 4u);
    EXPECT_EQ(first.text, "1,0,");
    EXPECT_EQ(first.one, 1);
    EXPECT_EQ(first.length, 5);
    EXPECT_EQ(slotCalls()[1].length, 1);  // an empty text is its terminator
    EXPECT_EQ(tx, 2u);
    EXPECT_EQ(client.ownTransmitCounter(), 0u);
    EXPECT_EQ(infodriver.slot(4), "1,0,");
}

TEST_F(ClientSlotIo, NegativeIndexWritesWithTheAlternativeMessageAndItsMagnitude) {
    client.writeSlot(-5, "v");
    ASSERT_EQ(slotCalls().size(), 1u);
    EXPECT_EQ(slotCalls()[0].message, IFMSG_SLOTWRITEALT);
    EXPECT_EQ(slotCalls()[0].wParam, 5u);

    client.writeSlot(INT32_MIN, "w");
    EXPECT_EQ(slotCalls()[1].wParam, 0x80000000u);
}

TEST_F(ClientSlotIo, WriteIfChangedSendsOnceForTheSameTextTwice) {
    EXPECT_TRUE(client.writeSlotIfChanged(2, "%d", 1));
    EXPECT_EQ(tx, 1u);
    EXPECT_FALSE(client.writeSlotIfChanged(2, "%d", 1));
    EXPECT_EQ(tx, 1u);

    // read, write, read: nothing is sent the second time
    const auto calls = slotCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].message, IFMSG_SLOTREAD);
    EXPECT_EQ(calls[0].wParam, 2u);
    EXPECT_EQ(calls[0].length, 256);
    EXPECT_EQ(calls[1].message, IFMSG_SLOTWRITE);
    EXPECT_EQ(calls[2].message, IFMSG_SLOTREAD);

    EXPECT_TRUE(client.writeSlotIfChanged(2, "%d", 2));
    EXPECT_EQ(tx, 2u);
    EXPECT_EQ(infodriver.slot(2), "2");
}

TEST_F(ClientSlotIo, WriteIfChangedComparesWithWhatTheControlSystemWrote) {
    infodriver.changeSlot(12, "00.00.10.00");
    EXPECT_FALSE(client.writeSlotIfChanged(12, "%02x.%02x.%02x.%02x", 0, 0, 0x10, 0));
    EXPECT_TRUE(client.writeSlotIfChanged(12, "00.00.10.01"));
    EXPECT_TRUE(client.writeSlotIfChanged(12, "00.00.10.0"));  // a prefix differs
    EXPECT_TRUE(client.writeSlotIfChanged(12, "00.00.10.0 "));
    EXPECT_EQ(tx, 3u);
}

TEST_F(ClientSlotIo, ComparisonIsCaseSensitive) {
    infodriver.changeSlot(3, "OK");
    EXPECT_TRUE(client.writeSlotIfChanged(3, "ok"));
}

TEST_F(ClientSlotIo, WriteIfChangedWithANegativeIndexReadsItsMagnitude) {
    EXPECT_TRUE(client.writeSlotIfChanged(-5, "x"));
    const auto calls = slotCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].message, IFMSG_SLOTREAD);
    EXPECT_EQ(calls[0].wParam, 5u);
    EXPECT_EQ(calls[1].message, IFMSG_SLOTWRITEALT);
    EXPECT_EQ(calls[1].wParam, 5u);
    // The alternative write landed where the next comparison reads.
    EXPECT_FALSE(client.writeSlotIfChanged(-5, "x"));
}

TEST_F(ClientSlotIo, AReadThatFailsComparesAsEmpty) {
    world.slotReadsFail = true;  // the library leaves the buffer untouched
    EXPECT_FALSE(client.writeSlotIfChanged(1, "%s", ""));
    EXPECT_TRUE(client.writeSlotIfChanged(1, "a"));
    EXPECT_TRUE(client.writeSlotIfChanged(1, "a"));
    EXPECT_EQ(tx, 2u);
}

TEST_F(ClientSlotIo, ReadSlotUsesTheIndexAsGivenAndStaysInItsBuffer) {
    infodriver.changeSlot(6, "1,");
    char buffer[256];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(client.readSlot(6, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "1,");
    EXPECT_EQ(slotCalls().back().length, 256);

    client.readSlot(-6, buffer, sizeof buffer);
    EXPECT_EQ(slotCalls().back().message, IFMSG_SLOTREAD);
    EXPECT_EQ(static_cast<std::int32_t>(slotCalls().back().wParam), -6);

    // A slot longer than a read fetches, into a buffer smaller than a read.
    infodriver.changeSlot(6, std::string(400, 'q'));
    char small[8];
    std::memset(small, 'z', sizeof small);
    client.readSlot(6, small, sizeof small);
    EXPECT_EQ(slotCalls().back().length, 8);
    EXPECT_STREQ(small, "qqqqqqq");

    char large[600];
    client.readSlot(6, large, sizeof large);
    EXPECT_EQ(std::strlen(large), 255u);

    EXPECT_EQ(client.readSlot(6, nullptr, 10), 0);
    EXPECT_EQ(client.readSlot(6, small, 0), 0);
}

TEST_F(ClientSlotIo, OverlongTextsAreCutTo511Characters) {
    const std::string huge(2000, 'h');
    client.writeSlot(1, "%s", huge.c_str());
    ASSERT_EQ(slotCalls().size(), 1u);
    EXPECT_EQ(slotCalls()[0].text, std::string(511, 'h'));
    EXPECT_EQ(slotCalls()[0].length, 512);

    // Longer than a read fetches: the comparison cannot see the whole text, so it writes.
    EXPECT_TRUE(client.writeSlotIfChanged(1, "%s", huge.c_str()));
    EXPECT_EQ(slotCalls().back().text, std::string(511, 'h'));
}

TEST_F(ClientSlotIo, AnInfodriverWhoseWindowHasGoneIsNoticedAndStaysGone) {
    EXPECT_FALSE(client.peerGone());
    world.destroyWindow(infodriver.window());  // its process ended without a disconnect
    EXPECT_TRUE(client.peerGone());
    EXPECT_TRUE(client.peerGone());
}

TEST_F(ClientSlotIo, NullCountersFallBackToTheClientsOwn) {
    client.setCounters(nullptr, nullptr);
    client.writeSlot(1, "a");
    infodriver.changeSlot(1, "b");
    EXPECT_EQ(client.ownTransmitCounter(), 1u);
    EXPECT_EQ(client.ownReceiveCounter(), 1u);
    EXPECT_EQ(tx, 0u);
}

}  // namespace
}  // namespace korvel::infodriver::testing
