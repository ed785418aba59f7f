#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/rehearse/rehearsal_options.h"
#include "tools/rehearse/rehearsal_report.h"

namespace korvel::tools::rehearse {
namespace {

RehearsalOptionsParse parse(std::vector<std::string> arguments) {
    return parseRehearsalOptions(arguments);
}

TEST(RehearsalOptionsTest, PortsAndOptionsAreReadAndRangesThatCannotWorkAreRefused) {
    const RehearsalOptionsParse good = parse(
        {"com3", "COM13", "--vts", "9", "--unattended", "--report", "r.txt", "--device", "500"});
    ASSERT_EQ(good.error, "");
    EXPECT_EQ(good.options.driverPort, 3);
    EXPECT_EQ(good.options.deckPort, 13);
    EXPECT_EQ(good.options.vts, 9);
    EXPECT_TRUE(good.options.unattended);
    EXPECT_EQ(good.options.reportPath, "r.txt");
    EXPECT_EQ(good.options.device, 500);
    EXPECT_EQ(parse({"COM1", "COM2"}).options.device, kDefaultDevice);

    // Each of these must be refused with a reason, never run on a wrong port.
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {},
             {"COM3"},
             {"COM3", "COM4", "COM5"},
             {"COM3", "COM3"},
             {"COM3", "COM5", "--vts", "3"},  // VT3's driver port is the deck port of VT1
             {"COM5", "COM3", "--vts", "3"},
             {"COM250", "COM1", "--vts", "9"},  // past COM256
             {"COM0", "COM4"},
             {"COM3", "LPT1"},
             {"COM3", "COM4", "--vts", "10"},
             {"COM3", "COM4", "--vts"},
             {"COM3", "COM4", "--device", "0"},
             {"COM3", "COM4", "--device", "12x"},
             {"COM3", "COM4", "--report"},
             {"COM3", "COM4", "--fast"}}) {
        EXPECT_NE(parse(bad).error, "") << ::testing::PrintToString(bad);
    }
    EXPECT_EQ(parse({"COM3", "COM6", "--vts", "3"}).error, "");
    EXPECT_TRUE(parse({"COM3", "--help"}).options.help);
}

TEST(RehearsalReportTest, LinesSummaryAndTimingsSayWhatHappened) {
    StepResult pass{1, "driver comes up", Outcome::kPass, "x", "1 VT answering", {}, 0.8};
    StepResult fail{2,
                    "VT1 play",
                    Outcome::kFail,
                    "slot 2 \"2\" within 5 s",
                    "slot 2 \"1\"",
                    {"the deck heard nothing", "check the cable"},
                    5.0};
    StepResult skip{3, "VT1 pulled cable", Outcome::kSkip, "", "", {}, 0};
    EXPECT_EQ(stepLines(pass), "PASS  1 driver comes up: 1 VT answering\n");
    EXPECT_EQ(stepLines(fail),
              "FAIL  2 VT1 play: expected slot 2 \"2\" within 5 s; came slot 2 \"1\"\n"
              "  diagnosis: the deck heard nothing\n"
              "  diagnosis: check the cable\n");
    EXPECT_EQ(stepLines(skip), "SKIP  3 VT1 pulled cable: skipped\n");
    const std::vector<StepResult> steps{pass, fail, skip};
    EXPECT_EQ(resultSummary(steps), "1 passed, 1 failed, 1 skipped");
    EXPECT_TRUE(anyFailed(steps));
    EXPECT_FALSE(anyFailed({pass, skip}));

    EXPECT_EQ(timingSummary({}), "not measured");
    EXPECT_EQ(timingSummary({9.75, 2, 3.5, 1125}), "n 4, median 6.6 ms, min 2.0 ms, max 1125 ms");
    const std::string report = reportText(
        "Title", {{"Steps", stepsSection(steps)}, {"Timings", timingsSection({{"a", {1}}})}});
    EXPECT_EQ(report.rfind("Title\n\n== Steps\nPASS  1", 0), 0u) << report;
    EXPECT_NE(report.find("Result: 1 passed, 1 failed, 1 skipped\n\n== Timings\na  n 1,"),
              std::string::npos)
        << report;
}

}  // namespace
}  // namespace korvel::tools::rehearse
