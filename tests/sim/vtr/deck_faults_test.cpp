#include <gtest/gtest.h>

#include "deck_test_support.h"

namespace korvel::sim::vtr {
namespace {

using namespace testing;
using Action = ControlCommand::Action;

const Bytes kStatusSense = command({0x61, 0x20, 0x05});
const Bytes kStopped = reply({0x75, 0x20, 0x00, 0x20, 0x00, 0x00, 0x00});

void fault(Deck& deck, Action action, int value = 0, std::uint8_t nakError = kNakChecksumError) {
    ControlCommand c;
    c.deck = 1;
    c.action = action;
    c.value = value;
    c.nakError = nakError;
    deck.control(c, at(0s));
}

TEST(DeckFaults, SilentDeckReceivesButNeverAnswersNotEvenBadFrames) {
    Deck deck(quickSettings(), at(0s));
    fault(deck, Action::kSilent);
    DeckReaction r = deck.receive(kStatusSense, at(0s));
    EXPECT_TRUE(r.writes.empty());
    ASSERT_EQ(r.received.size(), 1u);
    EXPECT_EQ(r.received[0].kind, ReceivedEvent::Kind::kFrame);
    EXPECT_TRUE(deck.receive(Bytes{0x20, 0x01, 0x22}, at(0s)).writes.empty());
    fault(deck, Action::kClear);
    deck.expire(at(1s));
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0x05}, at(1s)), kStopped);
}

TEST(DeckFaults, CorruptRepliesCarryAWrongChecksumOnly) {
    Deck deck(quickSettings(), at(0s));
    fault(deck, Action::kCorrupt);
    const Bytes r = deck.receive(kStatusSense, at(0s)).writes.at(0).bytes;
    ASSERT_EQ(r.size(), kStopped.size());
    EXPECT_TRUE(std::equal(r.begin(), r.end() - 1, kStopped.begin()));
    EXPECT_NE(r.back(), kStopped.back());
    EXPECT_FALSE(hasValidChecksum(r));
}

TEST(DeckFaults, NakTheNextCommandsWhichAreThenNotCarriedOut) {
    Deck deck(quickSettings(), at(0s));
    fault(deck, Action::kNak, 2);
    EXPECT_EQ(exchange(deck, {0x20, 0x01}, at(0s)), reply({0x11, 0x12, 0x04}));
    fault(deck, Action::kNak, 1, 0x10);  // a new count replaces the old one
    EXPECT_EQ(exchange(deck, {0x20, 0x01}, at(0s)), reply({0x11, 0x12, 0x10}));
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0x05}, at(0s)), kStopped);  // play never happened
    EXPECT_EQ(deck.faults().nakCount, 0);
}

TEST(DeckFaults, GarbageGoesBeforeEveryReplyAndRepeatsForTheSameSeed) {
    DeckSettings settings = quickSettings();
    Deck first(settings, at(0s));
    Deck second(settings, at(0s));
    settings.garbageSeed = 2;
    Deck other(settings, at(0s));
    for (Deck* deck : {&first, &second, &other}) fault(*deck, Action::kGarbage, 3);
    const Bytes a = first.receive(kStatusSense, at(0s)).writes.at(0).bytes;
    ASSERT_EQ(a.size(), 3 + kStopped.size());
    EXPECT_TRUE(std::equal(kStopped.begin(), kStopped.end(), a.begin() + 3));
    EXPECT_EQ(second.receive(kStatusSense, at(0s)).writes.at(0).bytes, a);
    EXPECT_NE(other.receive(kStatusSense, at(0s)).writes.at(0).bytes, a);
    // The garbage changes from reply to reply.
    EXPECT_NE(first.receive(kStatusSense, at(0s)).writes.at(0).bytes, a);
}

TEST(DeckFaults, SplitRepliesGoOutInTwoWritesAndDelayedOnesLate) {
    Deck deck(quickSettings(), at(0s));
    fault(deck, Action::kSplit, 5);
    DeckReaction r = deck.receive(kStatusSense, at(1s));
    ASSERT_EQ(r.writes.size(), 2u);
    EXPECT_EQ(r.writes[0].due, at(1s));
    EXPECT_EQ(r.writes[1].due, at(1s + 5ms));
    Bytes joined = r.writes[0].bytes;
    joined.insert(joined.end(), r.writes[1].bytes.begin(), r.writes[1].bytes.end());
    EXPECT_EQ(joined, kStopped);
    EXPECT_FALSE(r.writes[0].bytes.empty());
    EXPECT_FALSE(r.writes[1].bytes.empty());

    fault(deck, Action::kClear);
    fault(deck, Action::kDelay, 20);
    r = deck.receive(kStatusSense, at(2s));
    ASSERT_EQ(r.writes.size(), 1u);
    EXPECT_EQ(r.writes[0].due, at(2s + 20ms));
    EXPECT_EQ(r.writes[0].bytes, kStopped);

    // Replies keep their order when the delay is shortened while one is still waiting.
    fault(deck, Action::kDelay, 0);
    r = deck.receive(command({0x20, 0x01}), at(2s + 1ms));
    EXPECT_EQ(r.writes.at(0).due, at(2s + 20ms));
}

TEST(DeckFaults, FaultsCombineAndClearEndsThemAll) {
    Deck deck(quickSettings(), at(0s));
    fault(deck, Action::kCorrupt);
    fault(deck, Action::kGarbage, 2);
    fault(deck, Action::kSplit, 3);
    fault(deck, Action::kDelay, 10);
    fault(deck, Action::kClosed);
    EXPECT_TRUE(deck.faults().portClosed);
    const DeckReaction r = deck.receive(kStatusSense, at(0s));
    ASSERT_EQ(r.writes.size(), 2u);
    EXPECT_EQ(r.writes[0].due, at(10ms));
    EXPECT_EQ(r.writes[0].bytes.size() + r.writes[1].bytes.size(), 2 + kStopped.size());

    fault(deck, Action::kClear);
    EXPECT_FALSE(deck.faults().portClosed);
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0x05}, at(1s)), kStopped);
}

TEST(DeckFaults, ClosingThePortForgetsAHalfReceivedFrame) {
    Deck deck(quickSettings(), at(0s));
    deck.receive(Bytes{0x61, 0x20}, at(0s));
    fault(deck, Action::kClosed);
    EXPECT_FALSE(deck.deadline());
    fault(deck, Action::kClear);
    // At once after reopening, well within the byte time-out: read from a clean start.
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0x05}, at(1ms)), kStopped);
}

TEST(DeckFaults, DescribeShowsStateAndFaultsForTheLog) {
    Deck deck(quickSettings(), at(0s));
    EXPECT_EQ(deck.describe(at(0s)),
              "mode=stop tc=10:00:00:00 standby=off local=off inhibit=off in=- out=- faults=none");
    exchange(deck, {0x20, 0x01}, at(0s));
    exchange(deck, {0x40, 0x10}, at(1s));
    fault(deck, Action::kNak, 2, 0x01);
    fault(deck, Action::kDelay, 20);
    fault(deck, Action::kSilent);
    EXPECT_EQ(deck.describe(at(2s)),
              "mode=play tc=10:00:02:00 standby=on local=off inhibit=off in=10:00:01:00 out=- "
              "faults=silent,nak:2:01,delay:20");
}

TEST(DeckFaults, EchoGivesEveryByteBackAheadOfTheReplyEvenWhenSilent) {
    Deck deck(quickSettings(), at(0s));
    fault(deck, Action::kEcho);
    const Bytes half(kStatusSense.begin(), kStatusSense.begin() + 2);
    const Bytes rest(kStatusSense.begin() + 2, kStatusSense.end());
    DeckReaction first = deck.receive(half, at(0s));
    ASSERT_EQ(first.writes.size(), 1u);
    EXPECT_EQ(first.writes[0].bytes, half);
    DeckReaction second = deck.receive(rest, at(0s));
    ASSERT_EQ(second.writes.size(), 2u);
    EXPECT_EQ(second.writes[0].bytes, rest);
    EXPECT_EQ(second.writes[1].bytes, kStopped);
    fault(deck, Action::kSilent);
    DeckReaction silent = deck.receive(kStatusSense, at(0s));
    ASSERT_EQ(silent.writes.size(), 1u);
    EXPECT_EQ(silent.writes[0].bytes, kStatusSense);
    EXPECT_NE(deck.describe(at(0s)).find("echo"), std::string::npos);
}

}  // namespace
}  // namespace korvel::sim::vtr
