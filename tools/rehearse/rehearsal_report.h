#pragma once

// What a rehearsal found, as the lines it prints while it runs and as the report file it
// leaves. Text only: the facts are gathered elsewhere.
#include <optional>
#include <string>
#include <vector>

namespace korvel::tools::rehearse {

enum class Outcome { kPass, kFail, kSkip };

struct StepResult {
    int number = 0;
    std::string name;  // "driver comes up", "VT1 play", ...
    Outcome outcome = Outcome::kPass;
    std::string expected;
    std::string came;
    std::vector<std::string> diagnosis;  // for a failure: what it points at
    double seconds = 0;                  // from the step's start to its end
};

// One measured delay, for the timings table.
struct Timing {
    std::string what;  // "VT1 slot write to wire"
    std::vector<double> milliseconds;
};

// The step's line: "PASS  3 VT1 play: ...", then a line per diagnosis.
std::string stepLines(const StepResult& step);

// "P passed, F failed, S skipped".
std::string resultSummary(const std::vector<StepResult>& steps);
bool anyFailed(const std::vector<StepResult>& steps);

// "n 12, median 3.1 ms, min 2.0 ms, max 9.8 ms", or "not measured".
std::string timingSummary(const std::vector<double>& milliseconds);

struct ReportSection {
    std::string title;
    std::string body;  // lines ending in '\n'
};

// The whole report: a title line, then each section under "== title".
std::string reportText(const std::string& title, const std::vector<ReportSection>& sections);

// The bodies of the steps' and the timings' sections.
std::string stepsSection(const std::vector<StepResult>& steps);
std::string timingsSection(const std::vector<Timing>& timings);

}  // namespace korvel::tools::rehearse
