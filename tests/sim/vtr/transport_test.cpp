#include <gtest/gtest.h>

#include "deck_test_support.h"
#include "sim/vtr/timecode.h"

namespace korvel::sim::vtr {
namespace {

using namespace testing;

constexpr std::int64_t kTen = 10 * 3600 * 25;  // 10:00:00:00

std::int64_t timecodeOf(Deck& deck, Instant now) {
    const Bytes r = exchange(deck, {0x61, 0x0C, 0x01}, now);
    if (r.size() != 7 || r[0] != 0x74 || (r[1] & 0xEF) != 0x04) {  // read or carried on
        ADD_FAILURE() << "no time reply: " << hexOf(r);
        return -1;
    }
    return fromBcd({r[2], r[3], r[4], r[5]}).value_or(-1);
}

struct ModeCase {
    const char* name;
    Bytes command;
    std::uint8_t byte1;  // expected status byte 1
    std::uint8_t byte2;  // expected status byte 2
};

TEST(Transport, EachCommandShowsTheStatusBitsOfItsMode) {
    const ModeCase cases[] = {
        {"stop", {0x20, 0x00}, 0x20, 0x00},
        {"play", {0x20, 0x01}, 0x81, 0x80},
        {"record", {0x20, 0x02}, 0x83, 0x80},
        {"fast forward", {0x20, 0x10}, 0x84, 0x00},
        {"rewind", {0x20, 0x20}, 0x88, 0x04},
        {"var fwd", {0x21, 0x12, 0x40}, 0x80, 0x08},
        {"var rev", {0x21, 0x22, 0x40}, 0x80, 0x0C},
        {"shuttle fwd", {0x21, 0x13, 0x50}, 0x80, 0x20},
        {"shuttle rev", {0x21, 0x23, 0x50}, 0x80, 0x24},
        {"shuttle still", {0x21, 0x13, 0x00}, 0x80, 0x22},
        {"jog fwd", {0x21, 0x11, 0x20}, 0x80, 0x10},
        {"jog rev", {0x21, 0x21, 0x20}, 0x80, 0x14},
        {"standby on", {0x20, 0x05}, 0xA0, 0x00},
        {"eject", {0x20, 0x0F}, 0x10, 0x00},
    };
    for (const ModeCase& c : cases) {
        Deck deck(quickSettings(), at(0s));
        Bytes frame = c.command;
        frame.push_back(checksumOf(frame));
        ASSERT_EQ(deck.receive(frame, at(0s)).writes.at(0).bytes, makeAck()) << c.name;
        const StatusBytes s = statusOf(deck, at(10ms));
        EXPECT_EQ(s[1], c.byte1) << c.name;
        EXPECT_EQ(s[2], c.byte2) << c.name;
        EXPECT_EQ(s[0], std::string(c.name) == "eject" ? 0x20 : 0x00) << c.name;  // tape out
    }
}

TEST(Transport, TimecodeRunsAtTwentyFiveFramesPerSecondInPlayAndRecord) {
    Deck deck(quickSettings(), at(0s));
    EXPECT_EQ(timecodeOf(deck, at(5s)), kTen);  // stopped: the tape does not move
    exchange(deck, {0x20, 0x01}, at(5s));
    EXPECT_EQ(timecodeOf(deck, at(5s + 39ms)), kTen);
    EXPECT_EQ(timecodeOf(deck, at(5s + 40ms)), kTen + 1);
    EXPECT_EQ(timecodeOf(deck, at(6s)), kTen + 25);
    exchange(deck, {0x20, 0x02}, at(6s));
    EXPECT_EQ(timecodeOf(deck, at(66s)), kTen + 25 + 60 * 25);
    exchange(deck, {0x20, 0x00}, at(66s));
    EXPECT_EQ(timecodeOf(deck, at(100s)), kTen + 25 + 60 * 25);
}

TEST(Transport, WindingAndShuttleMoveAtTheirSpeedsAndStopAtTheTapeStart) {
    Deck deck(quickSettings(), at(0s));
    exchange(deck, {0x20, 0x10}, at(0s));
    EXPECT_EQ(timecodeOf(deck, at(1s)), kTen + 30 * 25);
    exchange(deck, {0x21, 0x23, 64}, at(1s));  // shuttle reverse at play speed
    EXPECT_EQ(timecodeOf(deck, at(3s)), kTen + 30 * 25 - 50);
    exchange(deck, {0x21, 0x11, 32}, at(3s));  // jog forward at a tenth of play speed
    EXPECT_EQ(timecodeOf(deck, at(13s)), kTen + 30 * 25 - 50 + 25);
    exchange(deck, {0x21, 0x12, 96}, at(13s));  // var at ten times play speed
    EXPECT_EQ(timecodeOf(deck, at(14s)), kTen + 30 * 25 - 25 + 250);

    // Rewinding from 10:00:00:00 at 30x reaches the tape start after 20 minutes and stops.
    Deck rewinding(quickSettings(), at(0s));
    exchange(rewinding, {0x20, 0x20}, at(0s));
    EXPECT_EQ(timecodeOf(rewinding, at(1199s)), 25 * 30);
    EXPECT_EQ(timecodeOf(rewinding, at(5000s)), 0);
    EXPECT_EQ(statusOf(rewinding, at(5000s))[1] & 0x2F, 0x20);  // stop, no longer rewinding
}

TEST(Transport, SpeedBytesFollowTheSonyCurve) {
    EXPECT_EQ(Transport::speedPermille(0), 0);
    EXPECT_EQ(Transport::speedPermille(32), 100);
    EXPECT_EQ(Transport::speedPermille(64), 1000);
    EXPECT_EQ(Transport::speedPermille(96), 10000);
    EXPECT_EQ(Transport::speedPermille(255), 50000);
}

TEST(Transport, CueWithDataCuesForAWhileThenReportsCuedAtThatTime) {
    Deck deck(quickSettings(), at(0s));
    // 01:30:20:10 is 12:30 earlier than the start: the cue runs in reverse.
    EXPECT_EQ(exchange(deck, {0x24, 0x31, 0x10, 0x20, 0x30, 0x01}, at(1s)), makeAck());
    StatusBytes s = statusOf(deck, at(1s + 250ms));
    EXPECT_EQ(s[4] & 0x01, 0x01);  // cueing
    EXPECT_EQ(s[2] & 0x01, 0x00);
    const std::int64_t target = ((1 * 60 + 30) * 60 + 20) * 25 + 10;
    const std::int64_t halfway = timecodeOf(deck, at(1s + 250ms));
    EXPECT_LT(halfway, kTen);
    EXPECT_GT(halfway, target);

    s = statusOf(deck, at(1s + 500ms));
    EXPECT_EQ(s[4] & 0x01, 0x00);
    EXPECT_EQ(s[2] & 0x03, 0x03);  // cue-up complete, still
    EXPECT_EQ(timecodeOf(deck, at(9s)), target);

    // The next transport command ends the cued state.
    exchange(deck, {0x20, 0x01}, at(10s));
    EXPECT_EQ(statusOf(deck, at(10s))[2] & 0x01, 0x00);

    // A cue point with a digit that is not decimal is acknowledged and changes nothing.
    Deck other(quickSettings(), at(0s));
    EXPECT_EQ(exchange(other, {0x24, 0x31, 0x1A, 0x00, 0x00, 0x01}, at(0s)), makeAck());
    EXPECT_EQ(statusOf(other, at(100ms))[4] & 0x01, 0x00);
    EXPECT_EQ(timecodeOf(other, at(1s)), kTen);
}

TEST(Transport, PlayAndServoLockComeSomeFramesAfterTheCommandAndCuesTakeTheirDistance) {
    DeckSettings settings = quickSettings();
    settings.transport.lockFrames = 5;  // 200 ms
    settings.transport.cueSpeed = 30;   // a minute of tape in two seconds
    Deck deck(settings, at(0s));
    exchange(deck, {0x20, 0x01}, at(0s));
    EXPECT_EQ(statusOf(deck, at(199ms))[1], 0x80);  // standby, neither stop nor play yet
    EXPECT_EQ(statusOf(deck, at(200ms))[2], 0x80);  // servo lock, with play
    exchange(deck, {0x20, 0x02}, at(1s));           // record from play keeps the lock
    EXPECT_EQ(statusOf(deck, at(1s))[1], 0x83);

    // A minute on from 10:00:02:00: two seconds of wind, then half a second of settling.
    exchange(deck, {0x24, 0x31, 0x00, 0x02, 0x01, 0x10}, at(2s));
    EXPECT_EQ(timecodeOf(deck, at(3s)), kTen + 50 + 750);
    EXPECT_EQ(timecodeOf(deck, at(4s)), kTen + 50 + 1500);
    EXPECT_EQ(statusOf(deck, at(4499ms))[4] & 0x01, 0x01);  // cueing
    EXPECT_EQ(statusOf(deck, at(4500ms))[2] & 0x01, 0x01);  // cue-up complete
}

TEST(Transport, PresetsSetTheirBitsAndPrerollCuesBeforeTheInPoint) {
    Deck deck(quickSettings(), at(0s));
    exchange(deck, {0x44, 0x14, 0x00, 0x00, 0x01, 0x10}, at(0s));  // in 10:01:00:00
    EXPECT_EQ(statusOf(deck, at(0s))[3], 0x01);
    exchange(deck, {0x40, 0x11}, at(0s));  // out entry at the current position
    EXPECT_EQ(statusOf(deck, at(0s))[3], 0x03);
    EXPECT_EQ(deck.transport().outPoint(), kTen);

    exchange(deck, {0x20, 0x30}, at(1s));
    EXPECT_EQ(statusOf(deck, at(1s + 100ms))[4] & 0x01, 0x01);
    EXPECT_EQ(statusOf(deck, at(2s))[2] & 0x01, 0x01);
    EXPECT_EQ(timecodeOf(deck, at(2s)), kTen + 60 * 25 - 5 * 25);

    exchange(deck, {0x40, 0x20}, at(3s));  // in reset
    EXPECT_EQ(statusOf(deck, at(3s))[3], 0x02);
}

TEST(Transport, StandbyStopAndEeFollowTheMachine) {
    Deck deck(quickSettings(), at(0s));
    exchange(deck, {0x20, 0x01}, at(0s));
    exchange(deck, {0x20, 0x00}, at(1s));
    EXPECT_EQ(statusOf(deck, at(1s))[1], 0xA0);  // stop keeps standby on
    exchange(deck, {0x20, 0x01}, at(2s));
    exchange(deck, {0x20, 0x04}, at(3s));  // standby off from play stops the tape
    EXPECT_EQ(statusOf(deck, at(3s))[1], 0x20);
    const std::int64_t stopped = timecodeOf(deck, at(3s));
    EXPECT_EQ(timecodeOf(deck, at(9s)), stopped);

    exchange(deck, {0x20, 0x61}, at(3s));
    exchange(deck, {0x20, 0x63}, at(3s));
    EXPECT_EQ(statusOf(deck, at(3s))[4], 0xC0);
    exchange(deck, {0x20, 0x60}, at(3s));
    EXPECT_EQ(statusOf(deck, at(3s))[4], 0x80);
}

TEST(Transport, LocalTapeOutAndRecordInhibitRefuseTransportCommandsButAcknowledge) {
    Deck deck(quickSettings(), at(0s));
    deck.control({1, ControlCommand::Action::kLocal, 1}, at(0s));
    EXPECT_EQ(exchange(deck, {0x20, 0x01}, at(0s)), makeAck());
    StatusBytes s = statusOf(deck, at(1s));
    EXPECT_EQ(s[0], 0x01);
    EXPECT_EQ(s[1], 0x20);
    deck.control({1, ControlCommand::Action::kLocal, 0}, at(1s));

    deck.control({1, ControlCommand::Action::kInhibit, 1}, at(1s));
    exchange(deck, {0x20, 0x02}, at(1s));
    s = statusOf(deck, at(1s));
    EXPECT_EQ(s[1], 0x20);
    EXPECT_EQ(s[8], 0x01);
    deck.control({1, ControlCommand::Action::kInhibit, 0}, at(1s));

    deck.control({1, ControlCommand::Action::kLocal, 1}, at(1s));
    deck.control({1, ControlCommand::Action::kTape, 0}, at(1s));  // the operator may eject in local
    deck.control({1, ControlCommand::Action::kLocal, 0}, at(1s));
    exchange(deck, {0x20, 0x01}, at(1s));
    s = statusOf(deck, at(2s));
    EXPECT_EQ(s[0], 0x20);
    EXPECT_EQ(s[1], 0x10);
    deck.control({1, ControlCommand::Action::kTape, 1}, at(2s));
    s = statusOf(deck, at(2s));
    EXPECT_EQ(s[0], 0x00);
    EXPECT_EQ(s[1], 0x20);
    exchange(deck, {0x20, 0x01}, at(2s));
    EXPECT_EQ(statusOf(deck, at(2s))[1], 0x81);
}

}  // namespace
}  // namespace korvel::sim::vtr
