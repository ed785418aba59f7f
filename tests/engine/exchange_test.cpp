// Whole exchanges between the engine and a machine: slot texts in, frames on the wire, the
// machine's replies through the assembler and decoder, slot values and panel texts out.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "engine/command_table.h"
#include "engine/device_list.h"
#include "engine/slot_layout.h"
#include "infodriver/infodriver_messages.h"
#include "log/events_journal.h"
#include "sim/vtr/deck.h"
#include "sim/vtr/frame.h"
#include "support/engine_fixture.h"
#include "support/memory_log_platform.h"
#include "support/scripted_deck.h"

namespace korvel::engine {
namespace {

using testing::Bytes;
using testing::hex;

class Exchange : public testing::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        vt_ = &addDevice(1);
        deck_ = std::make_unique<testing::ScriptedDeck>(host, *vt_);
        host.setTimer(kPollTimerId, kPollPeriodMs);
        slots().setStatus(infodriver::kStatusConnected);
    }

    VtDevice& vt() { return *vt_; }
    testing::ScriptedDeck& deck() { return *deck_; }
    testing::FakeSlots& slots() { return slotsOf(*vt_); }

    // The control system writes a slot of VT1's infodriver.
    void write(int slot, const char* text) { vt().onInfodriverEvent(nullptr, slot, text); }

    // A machine that has answered its first requests: comms "OK", stopped.
    void settle() {
        deck().run(1200);
        ASSERT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
        heardFrom_ = deck().heard.size();
    }

    // Frames the deck received since the last call, as hex.
    std::vector<std::string> heardSince() {
        std::vector<std::string> texts;
        for (std::size_t i = heardFrom_; i < deck().heard.size(); ++i) {
            texts.push_back(hex(deck().heard[i]));
        }
        heardFrom_ = deck().heard.size();
        return texts;
    }

    std::string slot(int index) { return slots().slots[index]; }

  private:
    VtDevice* vt_ = nullptr;
    std::unique_ptr<testing::ScriptedDeck> deck_;
    std::size_t heardFrom_ = 0;
};

Bytes status(std::uint8_t byte0, std::uint8_t byte1, std::uint8_t byte2, std::uint8_t byte3 = 0,
             std::uint8_t byte4 = 0) {
    const std::uint8_t data[] = {byte0, byte1, byte2, byte3, byte4};
    return sim::vtr::makeFrame(0x70, 0x20, data);
}

TEST_F(Exchange, StartUpAsksForStatusAndTheFirstGoodReplyMarksTheVtAnswering) {
    EXPECT_EQ(slot(kCommsStateSlot), "");
    deck().run(1);
    ASSERT_GE(deck().heard.size(), 2u);
    EXPECT_EQ(hex(deck().heard[0]), "61 20 05 86");
    EXPECT_EQ(hex(deck().heard[1]), "61 20 09 8A");
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
    EXPECT_EQ(slot(kCommsStateSlot), "0,0,");
    EXPECT_EQ(slot(kTransportStateSlot), "1");
    EXPECT_EQ(host.panelOf(engine::kTransportField, 1), "Stop");
    EXPECT_FALSE(slot(kStatusFlagsSlot).empty());
    EXPECT_FALSE(slot(kStatusMoreFlagsSlot).empty());
    EXPECT_EQ(slot(kExtendedStatusSlot), "0,");
    EXPECT_GT(vt().rxCount, 0u);
}

struct TransportCase {
    const char* text;
    const char* frame;
    const char* state;
    const char* panel;
};

class TransportCommand : public Exchange, public ::testing::WithParamInterface<TransportCase> {};

TEST_P(TransportCommand, ReachesTheDeckAndItsNewStateComesBack) {
    const TransportCase& c = GetParam();
    settle();
    write(kCuePointSlot, "10.00.05.00");  // a cue point on the tape, for the cue command
    deck().run(50);
    if (std::string(c.text) == "1") {
        write(kCommandSlot, "2");  // stop needs a moving tape to be seen
        deck().run(1200);
    }
    heardSince();

    write(kCommandSlot, c.text);
    deck().answerAll();
    const auto frames = heardSince();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), c.frame);
    deck().run(1200);  // a whole poll round
    EXPECT_EQ(slot(kTransportStateSlot), c.state);
    EXPECT_EQ(host.panelOf(engine::kTransportField, 1), c.panel);
    EXPECT_EQ(vt().txQueueCount, 0u);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
}

INSTANTIATE_TEST_SUITE_P(SlotOne, TransportCommand,
                         ::testing::Values(TransportCase{"1", "20 00 20", "1", "Stop"},
                                           TransportCase{"2", "20 01 21", "2", "Play"},
                                           TransportCase{"3", "20 02 22", "3", "Rec"},
                                           TransportCase{"4", "20 20 40", "4", "Rew"},
                                           TransportCase{"5", "20 10 30", "5", "FFwd"},
                                           TransportCase{"7", "21 12 40 73", "7", "Var"},
                                           TransportCase{"-8", "21 23 50 94", "8", "Shuttle"},
                                           TransportCase{"9", "21 11 20 52", "9", "Jog"},
                                           TransportCase{"21", "24 31 00 05 00 10 6A", "21",
                                                         "Cued"}));

TEST_F(Exchange, PlayIsFollowedByItsRequestsAndANewStateByEeOff) {
    settle();
    write(kCommandSlot, "2");
    deck().run(1200);  // the deck reports play once its servo has locked, at a later poll
    const auto frames = heardSince();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0], "20 01 21");
    EXPECT_EQ(host.panelOf(engine::kLastCommandField, 1), "Play");
    // The first status reply that shows the new state is answered by EE off.
    bool eeOff = false;
    for (const auto& frame : frames) eeOff |= frame == "20 60 80";
    EXPECT_TRUE(eeOff);
    EXPECT_EQ(slot(kTransportStateSlot), "2");
}

TEST_F(Exchange, TimecodeFollowsThePlayingTapeAtThePeriodOfSlotTen) {
    settle();
    write(kCommandSlot, "2");
    deck().run(1000);
    const std::string first = slot(kTimecodeSlot);
    EXPECT_EQ(first.substr(0, 8), "10.00.00");
    deck().run(2000);
    EXPECT_GT(slot(kTimecodeSlot), first);
    EXPECT_EQ(slot(kTimecodeSlot).substr(0, 7), "10.00.0");

    write(kTimecodePeriodSlot, "200");
    EXPECT_EQ(slot(kTimecodePeriodSlot), "200");
    heardSince();
    deck().run(1000);
    int timeSenses = 0;
    for (const auto& frame : heardSince()) timeSenses += frame == "61 0C 01 6E";
    EXPECT_GE(timeSenses, 4);
    EXPECT_LE(timeSenses, 6);
}

TEST_F(Exchange, ANakResendsOnceAndASecondNakDropsTheCommand) {
    settle();
    const Bytes nak = sim::vtr::makeNak(sim::vtr::kNakChecksumError);
    deck().script({nak, nak});
    write(kCommandSlot, "2");
    deck().answerAll();
    const auto frames = heardSince();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], "20 01 21");
    EXPECT_EQ(frames[1], "20 01 21");
    EXPECT_NE(frames[2], "20 01 21");  // dropped: the follow-ups go on
    EXPECT_TRUE(traced("RX:NACK"));
    EXPECT_FALSE(vt().nakRetried);
    deck().run(1200);
    EXPECT_EQ(slot(kTransportStateSlot), "1");  // the machine never played
}

TEST_F(Exchange, AnAckBetweenTwoNaksLetsTheNextCommandBeSentAgain) {
    settle();
    const Bytes nak = sim::vtr::makeNak(sim::vtr::kNakChecksumError);
    deck().script({nak, sim::vtr::makeAck(), nak});
    write(kCommandSlot, "2");
    deck().answerAll();
    const auto frames = heardSince();
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[0], "20 01 21");
    EXPECT_EQ(frames[1], "20 01 21");
    EXPECT_EQ(frames[2], frames[3]);  // the first follow-up, written again once
    EXPECT_NE(frames[2], "20 01 21");
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
}

TEST_F(Exchange, ABadChecksumFailsTheVtAndTheNextGoodReplyRecoversIt) {
    settle();
    Bytes corrupt = status(0x20, 0x01, 0x00);
    corrupt.back() ^= 0xFF;
    deck().script({corrupt});
    deck().run(1200);
    EXPECT_TRUE(traced("Checksum Error"));
    EXPECT_TRUE(traced("RX (0 bytes): "));
    EXPECT_NE(host.panelOf(engine::kCommsField, 1),
              "!! FAIL?? !!");  // recovered by the next poll already
    std::size_t failedAt = slots().writes.size();
    for (std::size_t i = 0; i < slots().writes.size(); ++i) {
        if (slots().writes[i] == std::make_pair(kCommsStateSlot, std::string("1,0,"))) failedAt = i;
    }
    ASSERT_LT(failedAt, slots().writes.size()) << "slot 3 never showed the failure";
    EXPECT_EQ(slot(kCommsStateSlot), "0,0,");  // the good status reply cleared bit 2 again
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
}

TEST_F(Exchange, AnUnrecognisedReplyFailsTheVtUntilAGoodOne) {
    settle();
    deck().setSilent(true);
    deck().run(600);  // the next status request goes unanswered: a time-out
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
    deck().setSilent(false);
    deck().run(1200);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");

    // A frame a machine never sends, then the next frame goes unanswered for a while.
    deck().script({{0x21, 0x00, 0x11, 0x32}, {}});
    heardSince();
    write(kCommandSlot, "2");
    deck().answerAll();
    EXPECT_TRUE(traced("RX (3 bytes): 21 00 11 "));
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! FAIL?? !!");
    EXPECT_EQ(slot(kCommsStateSlot), "1,0,");
    EXPECT_TRUE(vt().commsFailed);
    // The play command was dropped; its follow-ups find the machine again.
    deck().run(1200);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
    EXPECT_EQ(slot(kCommsStateSlot), "0,0,");
    EXPECT_FALSE(vt().commsFailed);
    EXPECT_EQ(host.periodOf(31), vt().tcUpdatePeriod);
}

// The journal hears a silence as one failure and one time-out line, however many time-outs
// the storm holds, and their count with the recovery.
TEST_F(Exchange, ASilentDeckFailsAndRecoversWhenItAnswersAgain) {
    testing::MemoryLogPlatform files;
    files.folders.insert("events");
    auto journal = std::make_unique<log::EventsJournal>(
        "events", 0, files, [] { return log::EventTime{2026, 12, 9, 3, 0, 0, 0}; });
    log::eventsState().journal = journal.get();
    settle();
    deck().setSilent(true);
    deck().run(2000);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
    EXPECT_EQ(slot(kCommsStateSlot), "1,0,");
    deck().setSilent(false);
    deck().run(1200);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
    EXPECT_EQ(slot(kCommsStateSlot), "0,0,");

    log::eventsState().journal = nullptr;
    ASSERT_TRUE(journal->flush(5000));
    const std::string text = files.allText();
    EXPECT_THAT(text, ::testing::MatchesRegex(
                          "2026-12-09 03:00:00.000 VT1 TXTIMEOUT No reply within 250 ms[^\n]*\n"
                          "[^\n]* VT1 FAIL Communication failed: no reply\r\n"
                          "[^\n]* VT1 RECOVER Communication back after ([2-9]|[1-9][0-9]) tx "
                          "time-outs\r\n"));
}

TEST_F(Exchange, SlotTenSetsTheTimecodePeriodAndWritesItBack) {
    settle();
    struct Case {
        const char* text;
        const char* written;
        std::uint32_t period;
    };
    for (const Case& c : {Case{"500", "500", 500}, Case{"10", "40", 40},
                          Case{"-5", "40", 40},  // not a period of 49 days
                          Case{"abc", "abc", 40}, Case{" 250ms", "250", 250},
                          Case{"99999999999", "2147483647", 2147483647u}}) {
        SCOPED_TRACE(c.text);
        write(kTimecodePeriodSlot, c.text);
        EXPECT_EQ(slot(kTimecodePeriodSlot), c.written);
        EXPECT_EQ(vt().tcUpdatePeriod, c.period);
        EXPECT_EQ(host.periodOf(31), c.period);
    }
}

TEST_F(Exchange, SlotTwelveSetsTheCuePointAndPresetsIt) {
    settle();
    write(kCuePointSlot, "01.02.03.04");
    EXPECT_EQ(slot(kCuePointSlot), "01.02.03.04");
    deck().answerAll();
    EXPECT_EQ(heardSince().front(), "44 14 04 03 02 01 62");
    EXPECT_EQ(vt().cuePoint, (Timecode{0x04, 0x03, 0x02, 0x01}));

    for (const char* ignored : {"1.2.3", "1.2.3.", "", "...", "1..2.3"}) {
        write(kCuePointSlot, ignored);
        EXPECT_EQ(slot(kCuePointSlot), "01.02.03.04") << ignored;
    }
    EXPECT_TRUE(heardSince().empty());
    write(kCuePointSlot, "99.99.99.99");  // cut to BCD bytes and the timecode's bit widths
    EXPECT_EQ(slot(kCuePointSlot), "19.19.19.19");
}

TEST_F(Exchange, CommandTwentyTwoTakesTheMachinesTimecodeAsCuePoint) {
    settle();
    write(kCommandSlot, "23");  // current time sense
    deck().run(5);
    ASSERT_FALSE(slot(kTimecodeSlot).empty());
    write(kCommandSlot, "22");
    EXPECT_EQ(slot(kCuePointSlot), slot(kTimecodeSlot));
    EXPECT_EQ(host.panelOf(engine::kLastCommandField, 1), "SetCue");
}

TEST_F(Exchange, OtherSlotsAreEchoedAndCommandSlotsAreNot) {
    settle();
    write(7, "anything at all");
    EXPECT_EQ(slot(7), "anything at all");
    write(kCommandSlot, "0");
    EXPECT_EQ(slot(kCommandSlot), "");
    write(kOutPresetSlot, "x");
    deck().answerAll();
    EXPECT_EQ(heardSince().front(), hex(Bytes{0x44, 0x15, 0, 0, 0, 0, 0x59}));
    write(kGroup2ACSlot, "258");
    deck().answerAll();
    EXPECT_EQ(heardSince().front(), "22 AC 01 02 D1");
}

TEST_F(Exchange, SlotOneTextsBecomeCommandsWithTheirSpeedsAndDirections) {
    settle();
    engineState().speeds = DefaultSpeeds{64, 80, 32};
    struct Case {
        const char* text;
        const char* frame;  // nullptr: nothing is sent
    };
    for (const Case& c :
         {Case{"9", "21 11 20 52"}, Case{"-7", "21 22 40 83"}, Case{"8,-20", "21 23 14 58"},
          Case{"-8,20", "21 23 14 58"}, Case{"51,1000", "25 A7 40 01 00 00 00 0D"},
          Case{"7,5,7", "21 12 05 38"}, Case{"8,", "21 13 50 84"}, Case{"reset", nullptr},
          Case{"", nullptr}, Case{",7", nullptr}, Case{"--5", nullptr}, Case{"RESET ", nullptr},
          Case{"99999999999", nullptr}, Case{"-2147483648,5", nullptr}}) {
        SCOPED_TRACE(c.text);
        heardSince();
        write(kCommandSlot, c.text);
        deck().answerAll();
        const auto frames = heardSince();
        if (c.frame) {
            ASSERT_FALSE(frames.empty());
            EXPECT_EQ(frames.front(), c.frame);
        } else {
            EXPECT_TRUE(frames.empty());
        }
        deck().run(300);
    }

    config::StartupSettings startup;
    startup.jog = 16;  // the settings' own default speeds
    useStartupSettings(startup);
    heardSince();
    write(kCommandSlot, "-9");
    deck().answerAll();
    EXPECT_EQ(heardSince().front(), "21 21 10 52");
}

TEST_F(Exchange, ResetInSlotOneStartsTheVtAfresh) {
    settle();
    write(kCommandSlot, "RESET");
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
    EXPECT_EQ(slot(kCommsStateSlot), "1,0,");
    EXPECT_TRUE(traced("RESET [VT1]"));
    deck().run(1200);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
}

TEST_F(Exchange, InfodriverRequestsAreTracedAndDisconnectionClosesTheProgram) {
    slots().setStatus(infodriver::kStatusTxRx);
    write(0, "");
    EXPECT_TRUE(traced("Infodriver 1 received request to go TXRX"));
    slots().setStatus(infodriver::kStatusRxOnly);
    write(0, "");
    EXPECT_TRUE(traced("Infodriver 1 received request to go RX Only"));
    slots().setStatus(infodriver::kStatusNoClass);
    write(0, "");
    EXPECT_TRUE(traced("iStatus=9"));
    EXPECT_EQ(host.closeRequests, 0);

    slots().setStatus(infodriver::kStatusNotConnected);
    write(0, "");
    EXPECT_TRUE(traced("Infodriver 1 has disconnected"));
    // Closed once the client's message is handled; the device is still whole now.
    EXPECT_EQ(host.closeRequests, 1);
    EXPECT_EQ(findDevice(1), &vt());
}

TEST_F(Exchange, ALostPortFailsTheVtIsTriedOncePerRoundAndRecoversWhenItOpens) {
    settle();
    testing::FakeSerial& port = serialOf(vt());
    const auto opens = [&] { return std::count(port.calls.begin(), port.calls.end(), "open"); };
    port.isLost = true;  // the adapter is pulled: the reader tells the VT
    port.setOpenResult(-1);
    vt().onSerialData(nullptr);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
    EXPECT_EQ(slot(kCommsStateSlot), "1,0,");
    EXPECT_EQ(port.calls.back(), "close");
    EXPECT_FALSE(host.hasTimer(vt().timecodeTimerId()));
    EXPECT_EQ(host.trafficLog.back(), "Com port [1] lost");

    // Slot commands meanwhile reach no port and start no time-out; one open per poll round,
    // with no further trace line.
    const auto opensBefore = opens();
    write(kCommandSlot, "2");
    EXPECT_FALSE(host.hasTimer(vt().txTimerId()));
    deck().run(3 * 1125);
    EXPECT_EQ(opens() - opensBefore, 3);
    EXPECT_EQ(std::count_if(traceView.lines.begin(), traceView.lines.end(),
                            [](const std::string& l) { return l.find("lost") != l.npos; }),
              1);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");

    // "RESET" tries at once; plugged back, the VT recovers as after a silence.
    write(kCommandSlot, "RESET");
    EXPECT_EQ(opens() - opensBefore, 4);
    port.setOpenResult(1);
    heardSince();
    deck().run(1125);
    EXPECT_TRUE(traced("Com port [1] reopened"));
    EXPECT_THAT(host.trafficLog, ::testing::Contains("Com port [1] reopened"));
    EXPECT_EQ(port.readSize, 1);
    EXPECT_EQ(heardSince().front(), "61 20 05 86");
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "OK");
    EXPECT_EQ(slot(kCommsStateSlot), "0,0,");
    EXPECT_EQ(host.periodOf(vt().timecodeTimerId()), vt().tcUpdatePeriod);

    // A write that finds the device gone has the same effect.
    port.isLost = true;
    port.setOpenResult(-1);
    write(kCommandSlot, "1");
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
    EXPECT_EQ(std::count(host.trafficLog.begin(), host.trafficLog.end(), "Com port [1] lost"), 2);
}

// The device goes while a reply is handled: the command the reply lets go finds it gone. The
// VT is failed from then on; the reply that came before must not put it back to "OK".
TEST_F(Exchange, ADeviceGoneUnderAReplyLeavesTheVtFailed) {
    settle();
    testing::FakeSerial& port = serialOf(vt());
    deck().script({{}});  // play goes unanswered for now ...
    write(kCommandSlot, "2");
    write(kCommandSlot, "1");  // ... so stop waits in the queue
    port.goneOnWrite = true;
    deck().send(sim::vtr::makeAck());
    EXPECT_EQ(host.trafficLog.back(), "Com port [1] lost");
    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
    EXPECT_EQ(slot(kCommsStateSlot), "1,0,");
}

TEST_F(Exchange, AVanishedInfodriverIsNoticedOnThePollAndClosesTheProgramOnce) {
    settle();
    slots().gone = true;
    deck().run(2 * 1125);
    EXPECT_TRUE(traced("Infodriver 1 gone"));
    EXPECT_EQ(host.closeRequests, 1);
}

TEST_F(Exchange, RepliesInPiecesGluedOrDroppedAreAssembledAsTheyCome) {
    settle();
    const Bytes ack = sim::vtr::makeAck();
    const std::uint32_t before = vt().rxCount;

    deck().send({ack[0]});  // split over two notifications
    EXPECT_EQ(vt().rxCount, before);
    deck().send({ack[1], ack[2]});
    EXPECT_EQ(vt().rxCount, before + 1);

    deck().send({0x10, 0x01, 0x11, 0x10, 0x01, 0x11});  // two in one chunk
    EXPECT_EQ(vt().rxCount, before + 3);

    traceView.lines.clear();
    Bytes forty;
    while (forty.size() < 39) forty.insert(forty.end(), ack.begin(), ack.end());
    forty.push_back(0x10);
    serialOf(vt()).receive(forty);
    vt().onSerialData(nullptr);
    EXPECT_EQ(vt().rxIndex, 1);  // the last reply is still coming
    vt().rxIndex = 0;
    int readLines = 0;
    for (const auto& line : traceView.lines)
        readLines += line.find("Read[vt1] ") != std::string::npos;
    EXPECT_EQ(readLines, 2);
    EXPECT_TRUE(traced("Read[vt1] 10 01 11 10 01 11 "));
    EXPECT_EQ(host.trafficLog.back().substr(0, 10), "Read[vt1] ");

    // One line error drops its chunk whole; two at once do not.
    auto& serial = serialOf(vt());
    const std::uint32_t counted = vt().rxCount;
    serial.errorWords = {0x0002};
    deck().send(ack);
    EXPECT_EQ(vt().rxCount, counted);
    serial.errorWords = {0x0003};
    deck().send(ack);
    EXPECT_EQ(vt().rxCount, counted + 1);
}

TEST_F(Exchange, TheLongestFrameCompletesAtItsEighteenthByte) {
    settle();
    vt().rxIndex = 0;
    Bytes longest(17, 0x00);
    longest[0] = 0x7F;
    longest[1] = 0x20;
    std::uint8_t sum = 0;
    for (std::uint8_t b : longest) sum = static_cast<std::uint8_t>(sum + b);
    longest.push_back(sum);
    const std::uint32_t before = vt().rxCount;
    const std::size_t purges = serialOf(vt()).purges.size();
    deck().send(longest);
    EXPECT_EQ(vt().rxCount, before + 1);
    EXPECT_TRUE(traced("RX (17 bytes): 7f 20 "));  // unrecognised, but a whole frame
    EXPECT_EQ(serialOf(vt()).purges.size(), purges);
    EXPECT_EQ(vt().rxIndex, 0);
}

TEST_F(Exchange, StatusRepliesSetFlagsTransportAndTheNineByteRequest) {
    settle();
    // Bit 5 of byte 0 moves: the nine status bytes are asked for.
    vt().status0Bit5 = true;
    deck().setSilent(true);
    heardSince();
    deck().send(status(0x00, 0x01, 0x01));  // play and cued: cued wins
    deck().answerAll();
    EXPECT_EQ(slot(kTransportStateSlot), "21");
    EXPECT_EQ(host.panelOf(engine::kTransportField, 1), "Cued");
    EXPECT_EQ(slot(kStatusFlagsSlot), "0,0,");
    EXPECT_EQ(slot(kStatusMoreFlagsSlot), "0,1,1,");
    const auto asked = heardSince();
    EXPECT_NE(std::find(asked.begin(), asked.end(), "20 60 80"), asked.end());

    const std::size_t writes = slots().writes.size();
    deck().send(status(0x11, 0x80, 0x80));  // no transport bit: the state stays
    EXPECT_EQ(slot(kTransportStateSlot), "21");
    EXPECT_EQ(slot(kStatusFlagsSlot), "1,0,");
    EXPECT_EQ(slot(kStatusMoreFlagsSlot), "1,0,0,");
    EXPECT_EQ(slots().writes.size(), writes + 2);

    deck().send(sim::vtr::makeFrame(0x70, 0x21, Bytes{0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(slot(kTransportStateSlot), "21");  // not the status window: flags only
    EXPECT_EQ(slot(kStatusFlagsSlot), "0,0,");

    Bytes nine(9, 0);
    nine[8] = 0x01;
    deck().send(sim::vtr::makeFrame(0x70, 0x20, nine));
    EXPECT_EQ(slot(kExtendedStatusSlot), "1,");

    deck().send(sim::vtr::makeFrame(0x70, 0x14, Bytes{0x24, 0xD9, 0x59, 0x63}));
    EXPECT_EQ(slot(kTimecodeSlot), "23.59.59.24");
    EXPECT_EQ(vt().currentTimecode, (Timecode{0x24, 0xD9, 0x59, 0x63}));
    deck().send(sim::vtr::makeFrame(0x70, 0x06, Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(slot(kTimecodeSlot), "23.59.59.24");
}

}  // namespace
}  // namespace korvel::engine

namespace korvel::engine {
namespace {

// The deck emulator answers every frame the command table can send, with any value and cue
// point, the way the table says a machine does: a row the emulator does not know gets a NAK
// and fails here.
TEST(DeckEmulator, AnswersEveryCommandOfTheTableAsTheTableExpects) {
    std::mt19937 random(26);
    auto bcd = [&](unsigned limit) {
        const unsigned n = random() % limit;
        return static_cast<std::uint8_t>((n / 10) * 16 + n % 10);
    };
    for (const CommandRow& row : commandTable()) {
        for (int i = 0; i < 20; ++i) {
            const Timecode cue{bcd(25), bcd(60), bcd(60), bcd(24)};
            CommandPlan plan = planCommand(row.number, static_cast<std::int32_t>(random()), cue);
            if (!plan.sendsFrame) break;
            const int length = completeFrame(plan.frame);
            const Bytes frame(plan.frame.begin(), plan.frame.begin() + length);
            sim::vtr::Deck deck(sim::vtr::DeckSettings{}, sim::vtr::Instant{});
            const Bytes reply = deck.answer(frame, sim::vtr::Instant{});
            ASSERT_GE(reply.size(), 3u) << row.name << ": " << hex(frame);
            EXPECT_FALSE(isNegativeAcknowledge(reply.data()))
                << row.name << ": " << hex(frame) << " -> " << hex(reply);
            EXPECT_EQ(replyGroup(reply.data()), row.reply)
                << row.name << ": " << hex(frame) << " -> " << hex(reply);
        }
    }
}

}  // namespace
}  // namespace korvel::engine
