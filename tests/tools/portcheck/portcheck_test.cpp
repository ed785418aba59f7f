#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sim/vtr/control_command.h"
#include "sim/vtr/deck.h"
#include "tools/portcheck/diagnosis.h"
#include "tools/portcheck/exchange.h"
#include "tools/portcheck/line_setting.h"

namespace korvel::tools::portcheck {
namespace {

using namespace std::chrono_literals;
using sim::vtr::Deck;
using Kind = Finding::Kind;

constexpr auto kTimeout = 250ms;

// Asks the emulator's deck model every question for some rounds, as the tool does, and hands
// what comes back within the time-out to checkReply in random pieces: the reply is complete
// exactly when the whole of it has come.
std::vector<Exchange> askDeck(Deck& deck, int rounds, std::mt19937& random) {
    std::vector<Exchange> exchanges;
    sim::vtr::Instant now{0};
    for (int round = 0; round < rounds; ++round) {
        for (Question question : kQuestions) {
            const std::vector<std::uint8_t> frame = questionFrame(question);
            std::vector<std::uint8_t> back;
            for (const auto& write : deck.receive(frame, now).writes)
                if (write.due <= now + sim::vtr::Instant(kTimeout))
                    back.insert(back.end(), write.bytes.begin(), write.bytes.end());
            const ReplyCheck whole = checkReply(question, back);
            ReplyCheck piecewise;
            std::size_t fed = 0;
            while (fed < back.size() && !piecewise.done) {
                fed = std::min(back.size(), fed + 1 + random() % 5);
                piecewise = checkReply(question, std::span(back).first(fed));
            }
            EXPECT_EQ(piecewise.kind, whole.kind);
            EXPECT_EQ(piecewise.frame, whole.frame);
            exchanges.push_back({question, whole, 1.0 + round});
            now += sim::vtr::Instant(kTimeout);
            deck.expire(now);
        }
    }
    return exchanges;
}

struct Case {
    std::vector<std::string> controlLines;
    std::set<Kind> findings;
    bool lineSuspect;
};

TEST(Portcheck, DiagnosisOfEveryWayTheEmulatedDeckCanGoWrong) {
    const Case cases[] = {
        {{}, {}, false},
        {{"deck 1 fault silent"}, {Kind::kSilent}, false},
        {{"deck 1 fault echo"}, {Kind::kEcho}, false},
        {{"deck 1 fault echo", "deck 1 fault silent"}, {Kind::kEcho}, false},
        {{"deck 1 fault corrupt"}, {Kind::kBadFrames}, true},
        {{"deck 1 fault garbage 3"}, {Kind::kBadFrames}, true},
        {{"deck 1 fault nak 1000 10"}, {Kind::kNak}, true},
        {{"deck 1 fault nak 1000 01"}, {Kind::kNak}, false},
        {{"deck 1 fault nak 1 01"}, {Kind::kNak}, false},
        {{"deck 1 local on"}, {Kind::kLocal}, false},
        {{"deck 1 tape out", "deck 1 local on"}, {Kind::kLocal, Kind::kNoTape}, false},
        {{"deck 1 fault delay 300"}, {Kind::kSilent}, false},
    };
    std::mt19937 random(21);
    for (const Case& c : cases) {
        const std::string name = c.controlLines.empty() ? "healthy" : c.controlLines.front();
        SCOPED_TRACE(name);
        Deck deck(sim::vtr::DeckSettings{}, sim::vtr::Instant{0});
        for (const std::string& line : c.controlLines)
            deck.control(*sim::vtr::parseControlLine(line).command, sim::vtr::Instant{0});
        const std::vector<Exchange> exchanges = askDeck(deck, 3, random);
        const Diagnosis diagnosis = diagnose(exchanges, 250);
        std::set<Kind> found;
        for (const Finding& f : diagnosis.findings) found.insert(f.kind);
        EXPECT_EQ(found, c.findings);
        EXPECT_EQ(diagnosis.lineSuspect, c.lineSuspect);
        EXPECT_EQ(diagnosis.deckWorks(), found.empty());
        if (c.findings.empty()) {
            const RoundTrips t = roundTrips(exchanges, Question::kStatus);
            EXPECT_EQ(t.count, 3);
            EXPECT_EQ(t.min, 1.0);
            EXPECT_EQ(t.median, 2.0);
            EXPECT_EQ(t.max, 3.0);
        }
    }
}

TEST(Portcheck, SomeQuestionsUnansweredAndRepliesToOtherQuestionsAreFindingsOfTheirOwn) {
    Deck deck(sim::vtr::DeckSettings{}, sim::vtr::Instant{0});
    std::mt19937 random(7);
    std::vector<Exchange> exchanges = askDeck(deck, 2, random);
    exchanges[1].reply = {};  // one status lost
    // A timecode question answered with a device type.
    exchanges[2].reply = checkReply(Question::kTimecode, exchanges[0].reply.frame);
    std::set<Kind> found;
    for (const Finding& f : diagnose(exchanges, 250).findings) found.insert(f.kind);
    EXPECT_EQ(found, (std::set<Kind>{Kind::kUnanswered, Kind::kWrongReply}));
}

TEST(Portcheck, ADeckThatKnowsNoDeviceTypeRequestStillPassesWhenAllElseIsRight) {
    Deck deck(sim::vtr::DeckSettings{}, sim::vtr::Instant{0});
    std::mt19937 random(3);
    std::vector<Exchange> exchanges = askDeck(deck, 2, random);
    const std::vector<std::uint8_t> unknown{0x11, 0x12, 0x01, 0x24};
    for (Exchange& e : exchanges)
        if (e.question == Question::kDeviceType) e.reply = checkReply(e.question, unknown);
    Diagnosis diagnosis = diagnose(exchanges, 250);
    ASSERT_EQ(diagnosis.findings.size(), 1u);
    EXPECT_EQ(diagnosis.findings[0].kind, Kind::kNoDeviceType);
    EXPECT_TRUE(diagnosis.deckWorks());
    exchanges[1].reply = checkReply(Question::kStatus, unknown);  // a status refused too
    diagnosis = diagnose(exchanges, 250);
    EXPECT_EQ(diagnosis.findings.at(0).kind, Kind::kNak);
    EXPECT_FALSE(diagnosis.deckWorks());
}

TEST(Portcheck, OtherSettingsToTryStartAtTheGivenSpeedAndLeaveTheGivenSettingOut) {
    const LineSetting given{9600, 8, 'E', 1};
    const std::vector<LineSetting> tried = settingsToTry(given);
    EXPECT_EQ(tried.size(), 14u);
    EXPECT_EQ(tried.front(), (LineSetting{9600, 8, 'O', 1}));
    EXPECT_EQ(std::ranges::count(tried, given), 0);
    EXPECT_EQ(std::ranges::count(tried, LineSetting{38400, 8, 'O', 1}), 1);
}

}  // namespace
}  // namespace korvel::tools::portcheck
