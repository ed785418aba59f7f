// korvel-portcheck: does the deck on this port answer, what is it, and if not, why? For
// commissioning, without the driver, its settings or an infodriver.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/reply_meaning.h"
#include "tools/decode/frame_text.h"
#include "tools/portcheck/checked_port.h"
#include "tools/portcheck/diagnosis.h"
#include "tools/portcheck/options.h"
#include "tools/portcheck/port_list.h"
#include "tools/portcheck/survey.h"

#ifndef _WIN32
#include <unistd.h>

#include <filesystem>
#endif

namespace {

using namespace korvel::tools::portcheck;

constexpr int kExitOk = 0;
constexpr int kExitProblem = 1;
constexpr int kExitUsage = 2;

// Rounds of the status question on each other setting tried.
constexpr int kTriesPerSetting = 2;

#ifndef _WIN32
// The serial library knows ports by number, in the folder $KORVEL_SERIAL_DIR: a device path
// is given a number there, in a private folder of links removed at exit.
class DeviceFolder {
  public:
    ~DeviceFolder() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    int portFor(const std::string& path, std::string& error) {
        std::error_code ec;
        const std::filesystem::path device = std::filesystem::absolute(path, ec);
        std::string pattern =
            (std::filesystem::temp_directory_path(ec) / "korvel-portcheck-XXXXXX").string();
        if (ec || mkdtemp(pattern.data()) == nullptr) {
            error = "cannot make a temporary folder";
            return 0;
        }
        folder_ = pattern;
        std::filesystem::create_symlink(device, folder_ / "com1", ec);
        if (ec) {
            error = "cannot link " + path + ": " + ec.message();
            return 0;
        }
        setenv("KORVEL_SERIAL_DIR", folder_.c_str(), 1);
        return 1;
    }

  private:
    std::filesystem::path folder_;
};
#endif

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char b[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(b, sizeof b, "%02x ", byte);
        text += b;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// "diagnosis:   " and the text, each of its lines wrapped at the usual terminal width.
void printDiagnosis(const std::string& text) {
    constexpr std::size_t kWidth = 78;
    const std::string indent(13, ' ');
    std::string line = "diagnosis:   ";
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t at = start;
        while (at < end) {
            std::size_t space = text.find(' ', at);
            if (space == std::string::npos || space > end) space = end;
            const std::string word = text.substr(at, space - at);
            if (line.size() > indent.size() && line.size() + 1 + word.size() > kWidth) {
                std::printf("%s\n", line.c_str());
                line = indent;
            }
            if (line.size() > indent.size() && line.back() != ' ') line += ' ';
            line += word;
            at = space + 1;
        }
        std::printf("%s\n", line.c_str());
        line = indent;
        start = end + 1;
    }
}

const Exchange* lastGood(const std::vector<Exchange>& exchanges, Question question) {
    for (auto e = exchanges.rbegin(); e != exchanges.rend(); ++e)
        if (e->question == question && e->reply.kind == ReplyCheck::Kind::kGood) return &*e;
    return nullptr;
}

void printAnswers(const std::vector<Exchange>& exchanges) {
    for (Question question : kQuestions) {
        const Exchange* good = lastGood(exchanges, question);
        std::printf("%-12s ", (std::string(questionName(question)) + ":").c_str());
        if (good == nullptr) {
            std::printf("no good reply\n");
            continue;
        }
        const std::vector<std::uint8_t>& f = good->reply.frame;
        switch (question) {
            case Question::kDeviceType:
                std::printf("%s (model bytes %02x %02x)\n", hexBytes(f).c_str(), f[2], f[3]);
                break;
            case Question::kStatus: {
                std::printf("%s\n             %s\n", hexBytes(f).c_str(),
                            korvel::tools::decode::explainReply(f).c_str());
                const auto* rule = korvel::engine::transportRuleOf(f.data());
                if (rule != nullptr)
                    std::printf("             the driver shows Transport \"%s\", slot 2 \"%d\"\n",
                                rule->panelText, static_cast<int>(rule->state));
                else
                    std::printf("             no transport bit set: the driver keeps its state\n");
                break;
            }
            case Question::kTimecode:
                std::printf("%s  %s%s\n", hexBytes(f).c_str(),
                            korvel::tools::decode::explainReply(f).c_str(),
                            f[1] == 0x14 ? " (interpolated)" : "");
                break;
        }
    }
}

void printRoundTrips(const std::vector<Exchange>& exchanges, int asked) {
    int answered = 0;
    for (const Exchange& e : exchanges)
        if (e.reply.kind == ReplyCheck::Kind::kGood) ++answered;
    std::printf("answered:    %d of %d questions correctly\n", answered, asked);
    for (Question question : kQuestions) {
        const RoundTrips t = roundTrips(exchanges, question);
        if (t.count == 0) continue;
        std::printf("round trip:  %-12s %.2f / %.2f / %.2f ms (min / median / max of %d)\n",
                    questionName(question), t.min, t.median, t.max, t.count);
    }
}

std::vector<Exchange> askRounds(CheckedPort& port, int rounds, int timeoutMs) {
    std::vector<Exchange> exchanges;
    for (int round = 0; round < rounds; ++round)
        for (Question question : kQuestions)
            exchanges.push_back(port.ask(question, std::chrono::milliseconds(timeoutMs)));
    return exchanges;
}

// The first of the usual settings on which the deck answers the status question cleanly.
const LineSetting* findDeckSetting(CheckedPort& port, int portNumber, const Options& o,
                                   const std::vector<LineSetting>& candidates) {
    for (const LineSetting& candidate : candidates) {
        if (port.openWith(portNumber, candidate) != 1) continue;
        bool clean = true;
        for (int i = 0; i < kTriesPerSetting && clean; ++i)
            clean =
                port.ask(Question::kStatus, std::chrono::milliseconds(o.timeoutMs)).reply.kind ==
                ReplyCheck::Kind::kGood;
        port.close();
        if (clean) return &candidate;
    }
    return nullptr;
}

// Opens the port, asks the questions and diagnoses what came back; when the bytes point at
// the line settings, looks for the usual setting the deck answers on.
PortCheck checkPort(CheckedPort& port, int portNumber, const Options& o) {
    PortCheck check;
    check.opened = port.openWith(portNumber, o.line);
    if (check.opened != 1) return check;
    check.exchanges = askRounds(port, o.count, o.timeoutMs);
    port.close();
    check.diagnosis = diagnose(check.exchanges, o.timeoutMs);
    if (!check.diagnosis.deckWorks() && check.diagnosis.lineSuspect && o.tryOthers) {
        check.searched = true;
        const std::vector<LineSetting> candidates = settingsToTry(o.line);
        if (const LineSetting* found = findDeckSetting(port, portNumber, o, candidates))
            check.deckSetting = *found;
    }
    return check;
}

int runOne(const Options& o) {
    int portNumber = comPortNumber(o.port);
#ifndef _WIN32
    DeviceFolder devices;
    if (portNumber == 0) {
        std::string error;
        portNumber = devices.portFor(o.port, error);
        if (portNumber == 0) {
            std::fprintf(stderr, "korvel-portcheck: %s\n", error.c_str());
            return kExitUsage;
        }
    }
#else
    if (portNumber == 0) {
        std::fprintf(stderr, "korvel-portcheck: %s is no COM port (COM1 to COM256)\n",
                     o.port.c_str());
        return kExitUsage;
    }
#endif
    CheckedPort port;
    std::printf("%s at %s: %d rounds of device type, status and timecode, time-out %d ms\n",
                o.port.c_str(), lineText(o.line).c_str(), o.count, o.timeoutMs);
    std::fflush(stdout);
    const PortCheck check = checkPort(port, portNumber, o);
    if (check.opened != 1) {
        std::fprintf(stderr, "korvel-portcheck: cannot open %s at %s: %s\n", o.port.c_str(),
                     lineText(o.line).c_str(), shortDiagnosis(check).c_str());
        return kExitUsage;
    }
    printAnswers(check.exchanges);
    printRoundTrips(check.exchanges, static_cast<int>(check.exchanges.size()));

    std::printf("\n");
    for (const Finding& finding : check.diagnosis.findings) printDiagnosis(finding.text);
    if (check.diagnosis.deckWorks()) {
        printDiagnosis("OK, the deck answers correctly on " + lineText(o.line));
        return kExitOk;
    }
    if (check.searched) {
        std::printf("tried %zu other settings\n", settingsToTry(o.line).size());
        if (const auto& found = check.deckSetting)
            printDiagnosis("The deck answers on " + lineText(*found) + ": set the VT's Speed=" +
                           std::to_string(found->speed) + " and Parity=" + found->parity +
                           " (or the deck's own to " + lineText(o.line) + ").");
        else
            printDiagnosis(nothingFoundText(check.diagnosis));
    }
    return kExitProblem;
}

// Every port the system lists and every COM number that opens, each asked as runOne asks
// one, in one table. Ports held by another program are reported, never taken.
int runAll(const Options& o) {
    const std::vector<ListedPort> listed = listSystemPorts();
    std::printf(
        "every serial port at %s: %d rounds of device type, status and timecode, time-out %d "
        "ms\n",
        lineText(o.line).c_str(), o.count, o.timeoutMs);
    std::fflush(stdout);
    std::vector<SurveyRow> rows;
    int answering = 0;
    for (int number : portsToTry(listed)) {
        const auto entry = std::ranges::find(listed, number, &ListedPort::number);
        const ListedPort* listing = entry == listed.end() ? nullptr : &*entry;
        CheckedPort port;
        const PortCheck check = checkPort(port, number, o);
        if (check.opened == korvel::comms::kCommsFailed && listing == nullptr) continue;
        if (deckAnswers(check)) ++answering;
        rows.push_back(surveyRow(number, listing, check));
    }
    std::printf("\n%s\n", surveyTable(rows).c_str());
    for (const std::string& warning : latencyWarnings(listed)) std::printf("%s\n", warning.c_str());
    std::printf("%d of %zu ports have a deck answering\n", answering, rows.size());
    return answering > 0 ? kExitOk : kExitProblem;
}

}  // namespace

int main(int argc, char** argv) {
    const OptionsParse parse = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parse.options.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (!parse.error.empty()) {
        std::fprintf(stderr, "korvel-portcheck: %s (see --help)\n", parse.error.c_str());
        return kExitUsage;
    }
    return parse.options.all ? runAll(parse.options) : runOne(parse.options);
}
