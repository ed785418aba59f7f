// korvel-portcheck: does the deck on this port answer, what is it, and if not, why? For
// commissioning, without the driver, its settings or an infodriver.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/reply_meaning.h"
#include "tools/decode/frame_text.h"
#include "tools/portcheck/checked_port.h"
#include "tools/portcheck/diagnosis.h"
#include "tools/portcheck/options.h"

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

int run(const Options& o) {
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
    const int opened = port.openWith(portNumber, o.line);
    if (opened != 1) {
        std::fprintf(stderr, "korvel-portcheck: cannot open %s at %s: %s\n", o.port.c_str(),
                     lineText(o.line).c_str(),
                     opened == korvel::comms::kCommsAlreadyOpen
                         ? "another program holds it (the driver?)"
                         : "missing, unplugged, or the settings are refused");
        return kExitUsage;
    }
    std::printf("%s at %s: %d rounds of device type, status and timecode, time-out %d ms\n",
                o.port.c_str(), lineText(o.line).c_str(), o.count, o.timeoutMs);
    const std::vector<Exchange> exchanges = askRounds(port, o.count, o.timeoutMs);
    port.close();
    printAnswers(exchanges);
    printRoundTrips(exchanges, static_cast<int>(exchanges.size()));

    const Diagnosis diagnosis = diagnose(exchanges, o.timeoutMs);
    std::printf("\n");
    for (const Finding& finding : diagnosis.findings) printDiagnosis(finding.text);
    if (diagnosis.deckWorks()) {
        printDiagnosis("OK, the deck answers correctly on " + lineText(o.line));
        return kExitOk;
    }
    if (diagnosis.lineSuspect && o.tryOthers) {
        const std::vector<LineSetting> candidates = settingsToTry(o.line);
        std::printf("trying %zu other settings ...\n", candidates.size());
        std::fflush(stdout);
        if (const LineSetting* found = findDeckSetting(port, portNumber, o, candidates))
            printDiagnosis("The deck answers on " + lineText(*found) + ": set the VT's Speed=" +
                           std::to_string(found->speed) + " and Parity=" + found->parity +
                           " (or the deck's own to " + lineText(o.line) + ").");
        else
            printDiagnosis(
                "The deck answers cleanly on none of them: check the line (cable, "
                "screen, adapter) and the deck's own settings.");
    }
    return kExitProblem;
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
    return run(parse.options);
}
