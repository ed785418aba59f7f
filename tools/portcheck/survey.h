#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/portcheck/diagnosis.h"
#include "tools/portcheck/exchange.h"
#include "tools/portcheck/line_setting.h"
#include "tools/portcheck/port_list.h"

namespace korvel::tools::portcheck {

// The FTDI latency timer above which a survey warns: every reply waits up to this long.
inline constexpr int kLatencyWarningMs = 4;

// What one port said: whether it opened, what came back, and what was made of it.
struct PortCheck {
    int opened = 0;  // 1, or the serial library's -1 (missing, settings refused) / -2 (held)
    std::vector<Exchange> exchanges;
    Diagnosis diagnosis;
    bool searched = false;                   // other line settings were tried
    std::optional<LineSetting> deckSetting;  // ... and the deck answered on this one
};

// True when the deck answered at least one question correctly.
bool deckAnswers(const PortCheck& check);

// The diagnosis in a few words, for one row of a survey: "OK", or each finding's short name
// ("nothing came back", "local mode", "A/B pair swapped?", ...), separated by "; ".
std::string shortDiagnosis(const PortCheck& check);

// The paragraph that follows a line-setting search that found nothing.
std::string nothingFoundText(const Diagnosis& diagnosis);

// One row of the survey table.
struct SurveyRow {
    std::string port;        // "COM5"
    std::string adapter;     // "-" when unknown
    std::string answers;     // "yes", "no", "in use", "cannot open"
    std::string deviceType;  // the model bytes, "-" without a reply
    std::string status;      // the transport state and local / no tape, "-" without a reply
    std::string timecode;    // "-" without a reply
    std::string diagnosis;
};

// The row of one port: its listing (which may be empty) and what the check found.
SurveyRow surveyRow(int number, const ListedPort* listed, const PortCheck& check);

// The table, its columns as wide as their widest cell, with a header line.
std::string surveyTable(const std::vector<SurveyRow>& rows);

// "warning: ..." lines for the FTDI adapters whose latency timer is above the warning level.
std::vector<std::string> latencyWarnings(const std::vector<ListedPort>& listed);

}  // namespace korvel::tools::portcheck
