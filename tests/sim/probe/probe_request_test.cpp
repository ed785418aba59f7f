// The probe's command line and its "key value" output.
#include <gtest/gtest.h>

#include "shell/resource.h"
#include "sim/probe/probe_request.h"

namespace korvel::sim::probe {
namespace {

std::vector<ActionKind> kinds(const Request& request) {
    std::vector<ActionKind> out;
    for (const Action& action : request.actions) out.push_back(action.kind);
    return out;
}

const std::vector<ActionKind> kEverything{ActionKind::Caption, ActionKind::Rect, ActionKind::Panel,
                                          ActionKind::Trace, ActionKind::Menu};

TEST(ProbeArguments, NoActionReadsEverythingAndOptionsAreKept) {
    const ParsedRequest parsed = parseArguments({"--class", "OTHER", "--wait", "2500"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.request.windowClass, "OTHER");
    EXPECT_EQ(parsed.request.waitMs, 2500u);
    EXPECT_EQ(kinds(parsed.request), kEverything);
    EXPECT_TRUE(parsed.request.actions[2].ids.empty());  // the whole panel

    const ParsedRequest bare = parseArguments({});
    EXPECT_EQ(bare.request.windowClass, "CLASS_KORVEL");
    EXPECT_EQ(kinds(bare.request), kEverything);
}

TEST(ProbeArguments, PanelTakesTheIdsUpToTheNextActionAndActionsKeepTheirOrder) {
    const ParsedRequest parsed =
        parseArguments({"command", "debug", "panel", "2101", "2201", "trace", "panel", "rect"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(kinds(parsed.request),
              (std::vector<ActionKind>{ActionKind::Command, ActionKind::Panel, ActionKind::Trace,
                                       ActionKind::Panel, ActionKind::Rect}));
    EXPECT_EQ(parsed.request.actions[0].ids, std::vector<int>{32773});
    EXPECT_EQ(parsed.request.actions[1].ids, (std::vector<int>{2101, 2201}));
    EXPECT_TRUE(parsed.request.actions[3].ids.empty());
}

TEST(ProbeArguments, MenuCommandsByNameOrNumber) {
    EXPECT_EQ(commandId("exit"), IDM_EXIT);
    EXPECT_EQ(commandId("about"), IDM_ABOUT);
    EXPECT_EQ(commandId("clear"), IDM_DEBUG_CLEAR);
    EXPECT_EQ(commandId("hide"), IDM_DEBUG_HIDE);
    EXPECT_EQ(commandId("logging"), IDM_DEBUG_LOGGING);
    EXPECT_EQ(commandId("reset1"), IDM_RESET_VT1);
    EXPECT_EQ(commandId("reset9"), IDM_RESET_VT9);
    EXPECT_EQ(commandId("32784"), IDM_RESET_VT4);
    // Only VT 1 to 9 exist, ids are 16 bits, and a number is a whole number.
    EXPECT_EQ(commandId("reset0"), std::nullopt);
    EXPECT_EQ(commandId("reset10"), std::nullopt);
    EXPECT_EQ(commandId("65536"), std::nullopt);
    EXPECT_EQ(commandId("0"), std::nullopt);
    EXPECT_EQ(commandId("12x"), std::nullopt);
    EXPECT_EQ(commandId(""), std::nullopt);
}

TEST(ProbeArguments, BadCommandLinesAreRefusedWithAReason) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--class"},
             {"--class", ""},
             {"--wait"},
             {"--wait", "-1"},
             {"--wait", "soon"},
             {"command"},
             {"command", "launch"},
             {"panel", "70000"},
             {"panel", "-5"},
             {"screenshot"},
         }) {
        const ParsedRequest parsed = parseArguments(bad);
        EXPECT_FALSE(parsed.ok()) << bad.front();
        EXPECT_FALSE(parsed.error.empty());
    }
    EXPECT_EQ(parseArguments({"--help"}).error, "help");
}

TEST(ProbeOutput, PanelIdsCoverTheTotalsAndEveryCellOfTheNineColumns) {
    const std::vector<int>& ids = panelIds();
    ASSERT_EQ(ids.size(), 2u + 5 * 9);
    EXPECT_EQ(ids[0], IDC_INFODRIVER_RX);
    EXPECT_EQ(ids[1], IDC_INFODRIVER_TX);
    EXPECT_EQ(ids[2], IDC_COMMS_BASE + 1);
    EXPECT_EQ(ids[10], IDC_COMMS_BASE + 9);
    EXPECT_EQ(ids[11], IDC_TRANSPORT_BASE + 1);
    EXPECT_EQ(ids.back(), IDC_RX_COUNT_BASE + 9);
}

TEST(ProbeOutput, ValuesStayOnOneLineAndReadBackUnchanged) {
    const std::string awkward = std::string("a\\b\nc\rd\te\x01 f\x7F") + "  !! tFAIL !!";
    const std::string line = formatLine("panel.2101", awkward);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(line, "panel.2101 a\\\\b\\nc\\rd\\te\\x01 f\\x7F  !! tFAIL !!\n");

    const auto parsed = parseLine(line);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->key, "panel.2101");
    EXPECT_EQ(parsed->value, awkward);

    const auto empty = parseLine("panel.2201 \r\n");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->value, "");
    const auto bare = parseLine("trace.count");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->value, "");
}

TEST(ProbeOutput, MalformedLinesAreRefusedNotMisread) {
    EXPECT_FALSE(parseLine(""));
    EXPECT_FALSE(parseLine(" leading blank"));
    EXPECT_FALSE(parseLine("key trailing\\"));
    EXPECT_FALSE(parseLine("key \\q"));
    EXPECT_FALSE(parseLine("key \\x4"));
    EXPECT_FALSE(parseLine("key \\xZZ"));
    EXPECT_EQ(unescapeValue("\\x41\\x6a"), "Aj");
}

}  // namespace
}  // namespace korvel::sim::probe
