#include "tools/portcheck/survey.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "comms/comms.h"
#include "engine/reply_meaning.h"
#include "tools/decode/frame_text.h"

namespace korvel::tools::portcheck {
namespace {

using Kind = ReplyCheck::Kind;

const Exchange* lastGoodReply(const PortCheck& check, Question question) {
    for (auto e = check.exchanges.rbegin(); e != check.exchanges.rend(); ++e)
        if (e->question == question && e->reply.kind == Kind::kGood) return &*e;
    return nullptr;
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isFtdi(const ListedPort& port) {
    return lowered(port.maker).find("ftdi") != std::string::npos ||
           lowered(port.adapter).find("ftdi") != std::string::npos;
}

const char* findingName(Finding::Kind kind) {
    switch (kind) {
        case Finding::Kind::kSilent:
            return "nothing came back";
        case Finding::Kind::kEcho:
            return "our own frames came back (TX and RX joined)";
        case Finding::Kind::kBadFrames:
            return "bytes that make no good frame";
        case Finding::Kind::kNak:
            return "the deck refused questions (NAK)";
        case Finding::Kind::kNoDeviceType:
            return "no device type request (the driver needs none)";
        case Finding::Kind::kWrongReply:
            return "replies to other questions";
        case Finding::Kind::kUnanswered:
            return "some questions unanswered";
        case Finding::Kind::kLocal:
            return "local mode";
        case Finding::Kind::kNoTape:
            return "no tape";
    }
    return "?";
}

}  // namespace

bool deckAnswers(const PortCheck& check) {
    return std::ranges::any_of(check.exchanges,
                               [](const Exchange& e) { return e.reply.kind == Kind::kGood; });
}

std::string nothingFoundText(const Diagnosis& diagnosis) {
    if (diagnosis.looksInverted)
        return "A/B pair swapped? The deck answers cleanly on no usual setting, but its bytes "
               "read as its replies with every bit inverted: swap the A and B wires of the pair "
               "that carries the deck's replies (our receive pair: pins 2 and 7 on our side, "
               "the deck's 2 and 7).";
    return "The deck answers cleanly on none of them: check the line (cable, screen, adapter) "
           "and the deck's own settings.";
}

std::string shortDiagnosis(const PortCheck& check) {
    if (check.opened == comms::kCommsAlreadyOpen) return "another program holds it (the driver?)";
    if (check.opened != 1) return "missing, unplugged, or the settings are refused";
    std::string text;
    for (const Finding& finding : check.diagnosis.findings) {
        if (!text.empty()) text += "; ";
        if (finding.kind == Finding::Kind::kBadFrames && check.deckSetting)
            text += "the deck answers on " + lineText(*check.deckSetting);
        else if (finding.kind == Finding::Kind::kBadFrames && check.searched &&
                 check.diagnosis.looksInverted)
            text += "A/B pair swapped?";
        else
            text += findingName(finding.kind);
    }
    return text.empty() ? "OK" : text;
}

SurveyRow surveyRow(int number, const ListedPort* listed, const PortCheck& check) {
    SurveyRow row;
    row.port = "COM" + std::to_string(number);
    row.adapter = listed != nullptr && !listed->adapter.empty() ? listed->adapter : "-";
    if (listed != nullptr && listed->latencyTimerMs && isFtdi(*listed))
        row.adapter += " (latency " + std::to_string(*listed->latencyTimerMs) + " ms)";
    row.answers = check.opened == comms::kCommsAlreadyOpen ? "in use"
                  : check.opened != 1                      ? "cannot open"
                  : deckAnswers(check)                     ? "yes"
                                                           : "no";
    row.deviceType = row.status = row.timecode = "-";
    if (const Exchange* e = lastGoodReply(check, Question::kDeviceType)) {
        char model[8];
        std::snprintf(model, sizeof model, "%02x %02x", e->reply.frame[2], e->reply.frame[3]);
        row.deviceType = model;
    }
    if (const Exchange* e = lastGoodReply(check, Question::kStatus)) {
        const std::uint8_t* frame = e->reply.frame.data();
        std::vector<std::string> parts;
        if (const engine::TransportRule* rule = engine::transportRuleOf(frame))
            parts.push_back(lowered(rule->panelText));
        const std::uint8_t byte0 = frame[engine::dataByte(0)];
        if (byte0 & 0x01) parts.push_back("local");
        if (byte0 & 0x20) parts.push_back("no tape");
        row.status.clear();
        for (const std::string& part : parts) row.status += (row.status.empty() ? "" : ", ") + part;
        if (row.status.empty()) row.status = "no transport state";
    }
    if (const Exchange* e = lastGoodReply(check, Question::kTimecode)) {
        // "TIMECODE 10.00.00.00 ...": the time alone.
        const std::string text = decode::explainReply(e->reply.frame);
        const auto start = text.find(' ');
        const auto end = text.find(' ', start + 1);
        if (start != std::string::npos) row.timecode = text.substr(start + 1, end - start - 1);
    }
    row.diagnosis = shortDiagnosis(check);
    return row;
}

std::string surveyTable(const std::vector<SurveyRow>& rows) {
    std::vector<std::vector<std::string>> lines{
        {"port", "adapter", "answers", "device type", "status", "timecode", "diagnosis"}};
    for (const SurveyRow& r : rows)
        lines.push_back(
            {r.port, r.adapter, r.answers, r.deviceType, r.status, r.timecode, r.diagnosis});
    std::vector<std::size_t> widths(lines.front().size(), 0);
    for (const auto& cells : lines)
        for (std::size_t i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], cells[i].size());
    std::string table;
    for (const auto& cells : lines) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            table += cells[i];
            if (i + 1 < cells.size()) table += std::string(widths[i] - cells[i].size() + 2, ' ');
        }
        table += "\n";
    }
    return table;
}

std::vector<std::string> latencyWarnings(const std::vector<ListedPort>& listed) {
    std::vector<std::string> warnings;
    for (const ListedPort& port : listed) {
        if (!isFtdi(port) || !port.latencyTimerMs || *port.latencyTimerMs <= kLatencyWarningMs)
            continue;
        warnings.push_back("warning: COM" + std::to_string(port.number) + "'s latency timer is " +
                           std::to_string(*port.latencyTimerMs) +
                           " ms, which adds up to that to every reply: set it to 1 to " +
                           std::to_string(kLatencyWarningMs) +
                           " ms (Device Manager, the port's Properties, Port Settings, "
                           "Advanced, Latency Timer)");
    }
    return warnings;
}

}  // namespace korvel::tools::portcheck
