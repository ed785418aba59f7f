#include "tools/rehearse/rehearsal_report.h"

#include <algorithm>
#include <cstdio>

namespace korvel::tools::rehearse {
namespace {

const char* outcomeWord(Outcome outcome) {
    switch (outcome) {
        case Outcome::kPass:
            return "PASS";
        case Outcome::kFail:
            return "FAIL";
        case Outcome::kSkip:
            return "SKIP";
    }
    return "FAIL";
}

std::string milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, ms < 100 ? "%.1f ms" : "%.0f ms", ms);
    return text;
}

}  // namespace

std::string stepLines(const StepResult& step) {
    std::string lines = std::string(outcomeWord(step.outcome)) + "  " +
                        std::to_string(step.number) + " " + step.name + ": ";
    if (step.outcome == Outcome::kPass) {
        lines += step.came;
    } else if (step.outcome == Outcome::kSkip) {
        lines += step.came.empty() ? "skipped" : step.came;
    } else {
        lines += "expected " + step.expected + "; came " + step.came;
    }
    lines += '\n';
    for (const std::string& line : step.diagnosis) lines += "  diagnosis: " + line + '\n';
    return lines;
}

std::string resultSummary(const std::vector<StepResult>& steps) {
    int counts[3] = {0, 0, 0};
    for (const StepResult& step : steps) ++counts[static_cast<int>(step.outcome)];
    return std::to_string(counts[0]) + " passed, " + std::to_string(counts[1]) + " failed, " +
           std::to_string(counts[2]) + " skipped";
}

bool anyFailed(const std::vector<StepResult>& steps) {
    return std::any_of(steps.begin(), steps.end(),
                       [](const StepResult& step) { return step.outcome == Outcome::kFail; });
}

std::string timingSummary(const std::vector<double>& values) {
    if (values.empty()) return "not measured";
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.size() % 2 == 1
                              ? sorted[sorted.size() / 2]
                              : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
    return "n " + std::to_string(sorted.size()) + ", median " + milliseconds(median) + ", min " +
           milliseconds(sorted.front()) + ", max " + milliseconds(sorted.back());
}

std::string reportText(const std::string& title, const std::vector<ReportSection>& sections) {
    std::string text = title + "\n";
    for (const ReportSection& section : sections) {
        text += "\n== " + section.title + "\n" + section.body;
        if (!section.body.empty() && section.body.back() != '\n') text += '\n';
    }
    return text;
}

std::string stepsSection(const std::vector<StepResult>& steps) {
    std::string body;
    for (const StepResult& step : steps) {
        char took[32];
        std::snprintf(took, sizeof took, "      (step took %.2f s)\n", step.seconds);
        body += stepLines(step) + took;
    }
    body += "Result: " + resultSummary(steps) + "\n";
    return body;
}

std::string timingsSection(const std::vector<Timing>& timings) {
    std::string body;
    std::size_t width = 0;
    for (const Timing& timing : timings) width = std::max(width, timing.what.size());
    for (const Timing& timing : timings) {
        body += timing.what + std::string(width - timing.what.size() + 2, ' ') +
                timingSummary(timing.milliseconds) + '\n';
    }
    return body;
}

}  // namespace korvel::tools::rehearse
