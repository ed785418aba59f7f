#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "sim/vtr/control_command.h"
#include "sim/vtr/deck.h"
#include "tools/portcheck/diagnosis.h"
#include "tools/portcheck/exchange.h"
#include "tools/portcheck/line_setting.h"
#include "tools/portcheck/port_list.h"
#include "tools/portcheck/survey.h"

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
    bool looksInverted = false;
};

TEST(Portcheck, DiagnosisOfEveryWayTheEmulatedDeckCanGoWrong) {
    const Case cases[] = {
        {{}, {}, false},
        {{"deck 1 fault silent"}, {Kind::kSilent}, false},
        {{"deck 1 fault echo"}, {Kind::kEcho}, false},
        {{"deck 1 fault echo", "deck 1 fault silent"}, {Kind::kEcho}, false},
        {{"deck 1 fault corrupt"}, {Kind::kBadFrames}, true},
        {{"deck 1 fault garbage 3"}, {Kind::kBadFrames}, true},
        {{"deck 1 fault invert"}, {Kind::kBadFrames}, true, true},
        {{"deck 1 fault invert", "deck 1 fault corrupt"}, {Kind::kBadFrames}, true},
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
        EXPECT_EQ(diagnosis.looksInverted, c.looksInverted);
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

// The survey's rows from what the deck model answers, and from ports that did not open.
TEST(Portcheck, SurveyRowsSayWhatEachPortAnswersInAFewWords) {
    std::mt19937 random(5);
    const auto checkOf = [&](std::vector<std::string> lines) {
        Deck deck(sim::vtr::DeckSettings{}, sim::vtr::Instant{0});
        for (const std::string& line : lines)
            deck.control(*sim::vtr::parseControlLine(line).command, sim::vtr::Instant{0});
        PortCheck check;
        check.opened = 1;
        check.exchanges = askDeck(deck, 2, random);
        check.diagnosis = diagnose(check.exchanges, 250);
        check.searched = check.diagnosis.lineSuspect;  // and, here, found nothing
        return check;
    };
    const ListedPort ftdi{5, "USB Serial Port (COM5)", "FTDI", 16};
    const ListedPort other{6, "Communications Port (COM6)", "(Standard port types)", 16};
    PortCheck inUse;
    inUse.opened = -2;

    const std::vector<SurveyRow> rows = {
        surveyRow(5, &ftdi, checkOf({})),
        surveyRow(6, &other, checkOf({"deck 1 local on", "deck 1 tape out"})),
        surveyRow(7, nullptr, checkOf({"deck 1 fault invert"})),
        surveyRow(8, nullptr, checkOf({"deck 1 fault silent"})),
        surveyRow(9, nullptr, inUse),
    };
    // Columns are two spaces or more apart: read them back as " | ".
    const std::string table = std::regex_replace(surveyTable(rows), std::regex("  +"), " | ");
    const std::vector<std::string> expected = {
        "port | adapter | answers | device type | status | timecode | diagnosis",
        "COM5 | USB Serial Port (COM5) (latency 16 ms) | yes | 21 25 | stop | 10.00.00.00 | OK",
        "COM6 | Communications Port (COM6) | yes | 21 25 | local, no tape | 10.00.00.00 | local "
        "mode; no tape",
        "COM7 | - | no | - | - | - | A/B pair swapped?",
        "COM8 | - | no | - | - | - | nothing came back",
        "COM9 | - | in use | - | - | - | another program holds it (the driver?)",
    };
    std::string all;
    for (const std::string& line : expected) all += line + "\n";
    EXPECT_EQ(table, all);
    EXPECT_FALSE(deckAnswers(inUse));

    // Only the FTDI adapter's timer matters, and only above 4 ms.
    ListedPort quick = ftdi;
    quick.number = 4;
    quick.latencyTimerMs = 4;
    const auto warnings = latencyWarnings({quick, ftdi, other});
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("warning: COM5's latency timer is 16 ms", 0), 0u);
    EXPECT_EQ(portsToTry({ftdi, {300, "", "", {}}}).size(), 256u);
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
