#include <gtest/gtest.h>

#include "deck_test_support.h"

namespace korvel::sim::vtr {
namespace {

using namespace testing;

TEST(DeckReplies, StatusSenseAnswersTheRequestedWindowOfStatusBytes) {
    Deck deck(quickSettings(), at(0s));
    // A fresh deck is stopped with standby off: only 1.5 is set.
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0x05}, at(0s)),
              reply({0x75, 0x20, 0x00, 0x20, 0x00, 0x00, 0x00}));
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0x12}, at(0s)), reply({0x72, 0x20, 0x20, 0x00}));
    deck.transport().setRecordInhibit(true);
    const Bytes nine = exchange(deck, {0x61, 0x20, 0x09}, at(0s));
    ASSERT_EQ(nine.size(), 12u);
    EXPECT_EQ(nine[0], 0x79);
    EXPECT_EQ(nine[10], 0x01);  // data byte 8, bit 0: record inhibit
    // Bytes past the end of the status table read as zero; a count of 0 gives no data.
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0xF3}, at(0s)), reply({0x73, 0x20, 0, 0, 0}));
    EXPECT_EQ(exchange(deck, {0x61, 0x20, 0x30}, at(0s)), reply({0x70, 0x20}));
}

TEST(DeckReplies, CurrentTimeSenseGivesBcdFramesSecondsMinutesHours) {
    DeckSettings settings = quickSettings();
    settings.transport.startFrames = ((23 * 60 + 59) * 60 + 58) * 25 + 24;  // 23:59:58:24
    settings.userBits = {0x12, 0x34, 0x56, 0x78};
    Deck deck(settings, at(0s));
    // Stopped, the LTC head reads nothing: the time is carried on, and flagged so.
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x01}, at(0s)),
              reply({0x74, 0x14, 0x24, 0x58, 0x59, 0x23}));
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x02}, at(0s)),
              reply({0x74, 0x06, 0x24, 0x58, 0x59, 0x23}));
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x04}, at(0s)),
              reply({0x74, 0x00, 0x24, 0x58, 0x59, 0x23}));
    // User bits alone, and beside the time of their kind.
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x10}, at(0s)),
              reply({0x74, 0x05, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x20}, at(0s)),
              reply({0x74, 0x07, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x11}, at(0s)),
              reply({0x78, 0x14, 0x24, 0x58, 0x59, 0x23, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x22}, at(0s)),
              reply({0x78, 0x06, 0x24, 0x58, 0x59, 0x23, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x00}, at(0s)), reply({0x11, 0x12, 0x01}));
}

TEST(DeckReplies, LtcIsReadOnlyWhileTheTapeRunsNearPlaySpeed) {
    const std::pair<Bytes, std::uint8_t> cases[] = {
        {{0x20, 0x01}, 0x04},
        {{0x21, 0x23, 32}, 0x04},  // play, shuttle 0.1x reverse
        {{0x21, 0x13, 0}, 0x14},
        {{0x21, 0x13, 255}, 0x14},  // shuttle still, 50x
        {{0x21, 0x11, 64}, 0x14},
        {{0x20, 0x10}, 0x14},                    // jog, fast forward
        {{0x24, 0x31, 0, 0x10, 0, 0x10}, 0x14},  // cued
    };
    for (const auto& [frame, cmd2] : cases) {
        Deck deck(quickSettings(), at(0s));
        Bytes framed = frame;
        framed.push_back(checksumOf(frame));
        deck.receive(framed, at(0s));
        EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x01}, at(1s)).at(1), cmd2) << hexOf(frame);
    }
}

TEST(DeckReplies, PresetsAreReadBackAndThePrerollTimeIsTaken) {
    Deck deck(quickSettings(), at(0s));
    exchange(deck, {0x44, 0x14, 0x00, 0x00, 0x01, 0x10}, at(0s));  // in 10:01:00:00
    exchange(deck, {0x44, 0x15, 0x12, 0x30, 0x02, 0x10}, at(0s));  // out 10:02:30:12
    EXPECT_EQ(exchange(deck, {0x60, 0x10}, at(0s)), reply({0x74, 0x10, 0x00, 0x00, 0x01, 0x10}));
    EXPECT_EQ(exchange(deck, {0x60, 0x11}, at(0s)), reply({0x74, 0x11, 0x12, 0x30, 0x02, 0x10}));
    EXPECT_EQ(exchange(deck, {0x60, 0x31}, at(0s)), reply({0x74, 0x31, 0x00, 0x05, 0x00, 0x00}));
    exchange(deck, {0x44, 0x31, 0x00, 0x10, 0x00, 0x00}, at(0s));  // preroll 10 s
    exchange(deck, {0x20, 0x30}, at(0s));
    EXPECT_EQ(exchange(deck, {0x61, 0x0C, 0x01}, at(1s)),
              reply({0x74, 0x14, 0x00, 0x50, 0x00, 0x10}));
}

TEST(DeckReplies, ARetrySoonAfterAChecksumNakIsReadCleanly) {
    // The bad request leaves 05 87 behind, the start of an eight-byte frame; the controller
    // repeats the request 15 ms after the NAK, past the byte time-out.
    Deck deck(DeckSettings{}, at(0s));
    EXPECT_EQ(deck.receive(Bytes{0x61, 0x20, 0x05, 0x87}, at(0s)).writes.at(0).bytes,
              reply({0x11, 0x12, 0x04}));
    EXPECT_EQ(deck.receive(command({0x61, 0x20, 0x05}), at(15ms)).writes.at(0).bytes.at(0), 0x75);
}

TEST(DeckReplies, DeviceTypeRequestGivesTheModelBytes) {
    Deck deck(quickSettings(), at(0s));
    EXPECT_EQ(exchange(deck, {0x00, 0x11}, at(0s)), reply({0x12, 0x11, 0x21, 0x25}));
    DeckSettings settings = quickSettings();
    settings.model = {0xF0, 0x0D};
    Deck other(settings, at(0s));
    EXPECT_EQ(exchange(other, {0x00, 0x11}, at(0s)), reply({0x12, 0x11, 0xF0, 0x0D}));
}

TEST(DeckReplies, EveryCommandTheControllerSendsIsAcknowledged) {
    const std::vector<Bytes> commands = {{0x20, 0x00},
                                         {0x20, 0x01},
                                         {0x20, 0x02},
                                         {0x20, 0x20},
                                         {0x20, 0x10},
                                         {0x21, 0x12, 0x40},
                                         {0x21, 0x22, 0x40},
                                         {0x21, 0x13, 0x50},
                                         {0x21, 0x23, 0x50},
                                         {0x21, 0x11, 0x20},
                                         {0x21, 0x21, 0x2C},
                                         {0x20, 0x04},
                                         {0x20, 0x05},
                                         {0x20, 0x30},
                                         {0x24, 0x31, 0x10, 0x20, 0x30, 0x01},
                                         {0x44, 0x14, 0x00, 0x00, 0x00, 0x10},
                                         {0x40, 0x10},
                                         {0x44, 0x15, 0x00, 0x00, 0x01, 0x10},
                                         {0x40, 0x11},
                                         {0xA3, 0x32, 0x09, 0x01, 0x00},
                                         {0xA3, 0x33, 0x09, 0x01, 0x00},
                                         {0xA3, 0x33, 0x09, 0x00, 0x00},
                                         {0xA3, 0x35, 0x09, 0x00, 0x00},
                                         {0x25, 0xA7, 0x40, 0x01, 0x00, 0x01, 0x02},
                                         {0x22, 0xAC, 0x01, 0x02},
                                         {0x20, 0x63},
                                         {0x20, 0x60},
                                         {0x20, 0x61},
                                         {0x00, 0x0C},
                                         {0x00, 0x1D},
                                         {0x20, 0x0F}};
    Deck deck(quickSettings(), at(0s));
    for (const Bytes& c : commands) {
        Bytes frame = c;
        frame.push_back(checksumOf(frame));
        const DeckReaction r = deck.receive(frame, at(0s));
        ASSERT_EQ(r.writes.size(), 1u);
        EXPECT_EQ(r.writes[0].bytes, makeAck()) << hexOf(c);
    }
}

TEST(DeckReplies, UndefinedCommandsAreNakedWithErrorBitOne) {
    Deck deck(quickSettings(), at(0s));
    EXPECT_EQ(exchange(deck, {0x00, 0x12}, at(0s)), reply({0x11, 0x12, 0x01}));
    EXPECT_EQ(exchange(deck, {0x20, 0x77}, at(0s)), reply({0x11, 0x12, 0x01}));
    // Known CMD2 with the wrong number of data bytes.
    EXPECT_EQ(exchange(deck, {0x21, 0x01, 0x00}, at(0s)), reply({0x11, 0x12, 0x01}));
    EXPECT_EQ(exchange(deck, {0x60, 0x20}, at(0s)), reply({0x11, 0x12, 0x01}));
    EXPECT_EQ(deck.answer(Bytes{0x20}, at(0s)), reply({0x11, 0x12, 0x01}));
}

TEST(DeckReplies, ChecksumFailureAndAbandonedFrameAreNakedAsMachinesDo) {
    Deck deck(quickSettings(), at(0s));
    DeckReaction r = deck.receive(Bytes{0x61, 0x20, 0x05, 0x87}, at(0s));
    ASSERT_FALSE(r.writes.empty());
    EXPECT_EQ(r.writes[0].bytes, reply({0x11, 0x12, 0x04}));
    EXPECT_EQ(r.received[0].kind, ReceivedEvent::Kind::kBadChecksum);
    deck.expire(at(1s));  // clears what is left of the bad frame

    r = deck.receive(Bytes{0x61, 0x20}, at(2s));
    EXPECT_TRUE(r.writes.empty());
    ASSERT_EQ(deck.deadline(), at(2s + 50ms));
    EXPECT_TRUE(deck.expire(at(2s + 49ms)).writes.empty());
    r = deck.expire(at(2s + 50ms));
    ASSERT_EQ(r.writes.size(), 1u);
    EXPECT_EQ(r.writes[0].bytes, reply({0x11, 0x12, 0x80}));
    EXPECT_EQ(r.writes[0].due, at(2s + 50ms));
    // The next command after the pause is read cleanly.
    EXPECT_EQ(exchange(deck, {0x20, 0x01}, at(3s)), makeAck());
}

TEST(DeckReplies, ReplyIsDueAtOnce) {
    Deck deck(quickSettings(), at(0s));
    const DeckReaction r = deck.receive(command({0x61, 0x20, 0x05}), at(7s));
    ASSERT_EQ(r.writes.size(), 1u);
    EXPECT_EQ(r.writes[0].due, at(7s));
}

}  // namespace
}  // namespace korvel::sim::vtr
