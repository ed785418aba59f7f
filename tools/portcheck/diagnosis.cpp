#include "tools/portcheck/diagnosis.h"

#include <algorithm>

#include "engine/reply_meaning.h"
#include "tools/decode/frame_text.h"

namespace korvel::tools::portcheck {
namespace {

using Kind = ReplyCheck::Kind;

// NAK reasons that a deck gives for bytes it could not read: a line setting or the line.
constexpr std::uint8_t kLineErrors = 0x04 | 0x10 | 0x20 | 0x40;  // checksum, parity, overrun,
                                                                 // framing

constexpr std::uint8_t kUnknownCommand = 0x01;

int countOf(const std::vector<Exchange>& exchanges, Kind kind) {
    return static_cast<int>(std::ranges::count_if(
        exchanges, [kind](const Exchange& e) { return e.reply.kind == kind; }));
}

std::string naksText(const std::vector<Exchange>& exchanges, std::uint8_t& reasons) {
    std::string text;
    for (Question question : kQuestions) {
        int naks = 0;
        std::string explained;
        for (const Exchange& e : exchanges) {
            if (e.question != question || e.reply.kind != Kind::kNak) continue;
            ++naks;
            if (e.reply.frame.size() > 3) reasons |= e.reply.frame[2];
            explained = decode::explainReply(e.reply.frame);
        }
        if (naks > 0)
            text += "  " + std::string(questionName(question)) + ": " + std::to_string(naks) +
                    " x " + explained + "\n";
    }
    return text;
}

// The status bits of the last good status reply; null when there was none.
const std::vector<std::uint8_t>* lastStatus(const std::vector<Exchange>& exchanges) {
    for (auto e = exchanges.rbegin(); e != exchanges.rend(); ++e)
        if (e->question == Question::kStatus && e->reply.kind == Kind::kGood)
            return &e->reply.frame;
    return nullptr;
}

}  // namespace

Diagnosis diagnose(const std::vector<Exchange>& exchanges, int timeoutMs) {
    Diagnosis diagnosis;
    auto add = [&](Finding::Kind kind, std::string text) {
        diagnosis.findings.push_back({kind, std::move(text)});
    };
    const int asked = static_cast<int>(exchanges.size());
    const int nothing = countOf(exchanges, Kind::kNothing);
    const int echoed = static_cast<int>(
        std::ranges::count_if(exchanges, [](const Exchange& e) { return e.reply.echoed; }));
    const int bad = countOf(exchanges, Kind::kBadFrame);
    const int naks = countOf(exchanges, Kind::kNak);
    const int wrong = countOf(exchanges, Kind::kWrongReply);

    if (asked > 0 && nothing == asked && echoed == 0) {
        add(Finding::Kind::kSilent,
            "Nothing came back. Check the cable (our TX pair to the deck's RX pair and back), that "
            "it is on this port, that the deck is on and that the cable is in the deck's 9-pin "
            "REMOTE connector (not an IN/OUT or a second remote port).");
        return diagnosis;
    }
    if (echoed > 0) {
        add(Finding::Kind::kEcho,
            "Our own frames came back (" + std::to_string(echoed) + " of " + std::to_string(asked) +
                "): TX and RX are joined. A loop-back plug, a cable wired TX to RX on our side, or "
                "an adapter in two-wire (RS-485) mode. The driver would take them as replies it "
                "does not understand (\"!! FAIL?? !!\"). Use a four-wire RS-422 cable and adapter "
                "setting.");
    }
    if (bad > 0) {
        diagnosis.lineSuspect = true;
        diagnosis.looksInverted = std::ranges::all_of(exchanges, [](const Exchange& e) {
            return e.reply.kind != Kind::kBadFrame || e.reply.inverted;
        });
        add(Finding::Kind::kBadFrames,
            std::to_string(bad) + " of " + std::to_string(asked) +
                " replies were bytes that make no good frame: the deck is on other line settings "
                "(speed, parity) than these, or the line is noisy.");
    }
    // Every device type question refused as unknown, and nothing else refused.
    const bool onlyDeviceTypeUnknown =
        naks > 0 && std::ranges::all_of(exchanges, [](const Exchange& e) {
            const bool refusedAsUnknown = e.reply.kind == Kind::kNak && e.reply.frame.size() == 4 &&
                                          e.reply.frame[2] == kUnknownCommand;
            return e.question == Question::kDeviceType ? refusedAsUnknown
                                                       : e.reply.kind != Kind::kNak;
        });
    if (onlyDeviceTypeUnknown) {
        diagnosis.findings.push_back(
            {Finding::Kind::kNoDeviceType,
             "The deck does not know the device type request (00 11): an older machine, or one "
             "of another make. The driver does not ask it.",
             false});
    } else if (naks > 0) {
        std::uint8_t reasons = 0;
        std::string text = "The deck refused " + std::to_string(naks) + " of " +
                           std::to_string(asked) + " questions:\n" + naksText(exchanges, reasons);
        if (reasons & kLineErrors) {
            diagnosis.lineSuspect = true;
            text +=
                "It could not read our bytes: its line settings (speed, parity) differ from "
                "these, or the line is noisy.";
        } else {
            text +=
                "It does not take these questions: not a 9-pin deck, or one that needs its "
                "remote port enabled in its set-up menu.";
        }
        add(Finding::Kind::kNak, text);
    }
    if (wrong > 0) {
        add(Finding::Kind::kWrongReply,
            std::to_string(wrong) + " of " + std::to_string(asked) +
                " replies answered another question: another device or a second controller on "
                "the line, or a deck that speaks another protocol.");
    }
    if (nothing > 0 && nothing < asked && echoed < asked) {
        add(Finding::Kind::kUnanswered,
            std::to_string(nothing) + " of " + std::to_string(asked) +
                " questions had no reply within " + std::to_string(timeoutMs) +
                " ms: the driver would mark the VT \"!! tFAIL !!\" each time. Check the cable's "
                "connectors and screen, and that no other controller shares the deck.");
    }
    if (const std::vector<std::uint8_t>* status = lastStatus(exchanges)) {
        const std::uint8_t byte0 = (*status)[static_cast<std::size_t>(engine::dataByte(0))];
        if (byte0 & 0x01)
            add(Finding::Kind::kLocal,
                "The deck is in local mode: it answers but ignores transport commands. Set its "
                "REMOTE/LOCAL switch to REMOTE.");
        if (byte0 & 0x20)
            add(Finding::Kind::kNoTape,
                "The deck has no tape: insert a tape (it ignores transport commands without one).");
    }
    return diagnosis;
}

bool Diagnosis::deckWorks() const {
    return std::ranges::none_of(findings, [](const Finding& f) { return f.stopsTheDriver; });
}

RoundTrips roundTrips(const std::vector<Exchange>& exchanges, Question question) {
    std::vector<double> times;
    for (const Exchange& e : exchanges)
        if (e.question == question && e.reply.done) times.push_back(e.roundTripMs);
    RoundTrips result;
    if (times.empty()) return result;
    std::ranges::sort(times);
    const std::size_t n = times.size();
    result.count = static_cast<int>(n);
    result.min = times.front();
    result.max = times.back();
    result.median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    return result;
}

}  // namespace korvel::tools::portcheck
