#include "tools/rehearse/rehearsal_script.h"

#include <cstdio>

#include "engine/command_table.h"
#include "engine/slot_layout.h"
#include "shell/resource.h"
#include "sim/probe/driver_window.h"

namespace korvel::tools::rehearse {
namespace {

using sim::EventRecord;
using sim::vtr::LogLine;

constexpr DWORD kComeUpMs = 20000;
constexpr DWORD kStateMs = 5000;
constexpr DWORD kCueMs = 60000;
constexpr DWORD kCommsMs = 15000;
constexpr DWORD kPersonMs = 120000;
constexpr DWORD kGoodbyeMs = 15000;
constexpr int kCueAheadSeconds = 10;
// How long the timecode is watched while playing (and the poll round measured).
constexpr DWORD kWatchMs = 5000;
// Gaps between status requests longer than this are a VT that was failing, not a round.
constexpr double kLongestPollMs = 2000;

std::string quotedSlot(int slot, const std::string& text) {
    return "slot " + std::to_string(slot) + " \"" + text + "\"";
}

std::string ms(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", value);
    return text;
}

// Microseconds between two times of the performance counter, in milliseconds.
double between(std::uint64_t fromUs, std::uint64_t toUs) {
    return (static_cast<double>(toUs) - static_cast<double>(fromUs)) / 1000.0;
}

std::uint64_t deckUs(const LogLine& line) {
    return static_cast<std::uint64_t>(line.time.count());
}

// The frame's fixed bytes as the deck emulator logs them: "20 01".
std::string framePrefix(unsigned command) {
    const engine::CommandRow* row = engine::commandRow(command);
    std::string text;
    if (row == nullptr) return text;
    char byte[4];
    for (int i = 0; i < row->fixed.count && i < 2; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", row->fixed.items[i]);
        text += byte;
    }
    return text;
}

// "hh.mm.ss.ff" plus some seconds, within the day; none for a text that is not a timecode.
std::optional<std::string> timecodeAhead(const std::string& text, int seconds) {
    int h = 0, m = 0, s = 0, f = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%2d.%2d.%2d.%2d%c", &h, &m, &s, &f, &end) != 4 || h > 23 ||
        m > 59 || s > 59)
        return std::nullopt;
    const int total = ((h * 60 + m) * 60 + s + seconds) % (24 * 3600);
    char ahead[16];
    std::snprintf(ahead, sizeof ahead, "%02d.%02d.%02d.%02d", total / 3600, total / 60 % 60,
                  total % 60, f);
    return std::string(ahead);
}

class Script {
  public:
    Script(RehearsalWorld& world, std::FILE* out) : world_(world), out_(out) {}

    RehearsalRun run();

  private:
    StepResult& begin(const std::string& name);
    void end(StepResult& step, Outcome outcome, const std::string& expected,
             const std::string& came);
    Timing& timing(const std::string& what);

    bool comeUp();
    void transport(int vt, const std::string& name, unsigned command, const std::string& state);
    void timecodeFollows(int vt);
    void cue(int vt);
    void pollRound(int vt, std::size_t deckMark);
    void silentDeck(int vt);
    void pulledCable();
    void exitWithGoodbyes();
    std::vector<std::string> whyNoAnswer(int vt);
    std::string lastSlot(int vt, int slot);

    RehearsalWorld& world_;
    std::FILE* out_;
    RehearsalRun run_;
    ULONGLONG stepStart_ = 0;
};

StepResult& Script::begin(const std::string& name) {
    StepResult step;
    step.number = static_cast<int>(run_.steps.size()) + 1;
    step.name = name;
    run_.steps.push_back(step);
    stepStart_ = GetTickCount64();
    return run_.steps.back();
}

void Script::end(StepResult& step, Outcome outcome, const std::string& expected,
                 const std::string& came) {
    step.outcome = outcome;
    step.expected = expected;
    step.came = gInterrupted && outcome == Outcome::kFail ? came + " (interrupted)" : came;
    step.seconds = static_cast<double>(GetTickCount64() - stepStart_) / 1000.0;
    std::fputs(stepLines(step).c_str(), out_);
    std::fflush(out_);
}

Timing& Script::timing(const std::string& what) {
    for (Timing& existing : run_.timings)
        if (existing.what == what) return existing;
    run_.timings.push_back({what, {}});
    return run_.timings.back();
}

std::string Script::lastSlot(int vt, int slot) {
    return world_.lastSlotText(vt, slot);
}

std::vector<std::string> Script::whyNoAnswer(int vt) {
    const std::string driverPort = "COM" + std::to_string(world_.driverPort(vt));
    const std::string deckPort = "COM" + std::to_string(world_.deckPort(vt));
    int frames = 0, broken = 0, answers = 0;
    for (const LogLine& line : world_.deckSince(0)) {
        if (line.deck != vt) continue;
        if (line.event == "rx") ++frames;
        if (line.event == "bad" || line.event == "drop" || line.event == "timeout") ++broken;
        if (line.event == "tx") ++answers;
    }
    if (!world_.driverRunning())
        return {"korvel.exe has ended: its events, at the end of the report, say why"};
    if (frames == 0 && broken == 0) {
        return {"the deck on " + deckPort + " received nothing from the driver on " + driverPort +
                    ": the two ports are not joined.",
                "Check the cable between " + driverPort + " and " + deckPort +
                    ": it must cross over (the transmit pair of each adapter to the receive pair "
                    "of the other); check that the cable is on the two ports named (Device "
                    "Manager, or korvel-portcheck --all, shows which adapter has which number)."};
    }
    if (frames == 0) {
        return {"the deck on " + deckPort + " received bytes from " + driverPort +
                    " but no whole command (" + std::to_string(broken) + " broken)",
                "the two adapters' line settings differ, an RS-422 A/B pair is swapped, or the "
                "cable picks up noise"};
    }
    if (answers > 0) {
        return {"the deck on " + deckPort + " heard the driver (" + std::to_string(frames) +
                    " commands) and answered, but the driver on " + driverPort + " heard no answer",
                "the wires from " + deckPort + "'s transmit to " + driverPort +
                    "'s receive are broken or swapped in the cable"};
    }
    return {"the deck on " + deckPort + " heard " + std::to_string(frames) +
            " commands but did not answer"};
}

bool Script::comeUp() {
    StepResult& step = begin("driver comes up");
    std::string error;
    if (!world_.prepare(error) || !world_.startDecks(error) || !world_.startInfodriver(error) ||
        !world_.startDriver(error)) {
        end(step, Outcome::kFail,
            "the deck emulator, the infodriver emulator and korvel.exe running", error);
        return false;
    }
    std::string came;
    bool all = true;
    for (int vt = 1; vt <= world_.options().vts; ++vt) {
        const auto answered = world_.waitEvent(
            0,
            world_.slotWrite(vt, engine::kCommsStateSlot,
                             [](const std::string& text) { return text.rfind("0,", 0) == 0; }),
            kComeUpMs);
        if (!answered) {
            all = false;
            came += (came.empty() ? "" : "; ") + std::string("VT") + std::to_string(vt) + " " +
                    lastSlot(vt, engine::kCommsStateSlot);
            for (std::string& line : whyNoAnswer(vt)) step.diagnosis.push_back(std::move(line));
        }
    }
    const std::string expected = "every VT answering, " +
                                 quotedSlot(engine::kCommsStateSlot, "0,0,") + " within " +
                                 std::to_string(kComeUpMs / 1000) + " s";
    if (!all) {
        end(step, Outcome::kFail, expected, came);
        return false;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%d VT%s answering (slot 3 \"0,\") after %.1f s",
                  world_.options().vts, world_.options().vts == 1 ? "" : "s",
                  static_cast<double>(GetTickCount64() - stepStart_) / 1000.0);
    end(step, Outcome::kPass, expected, text);
    return true;
}

void Script::transport(int vt, const std::string& name, unsigned command,
                       const std::string& state) {
    StepResult& step = begin("VT" + std::to_string(vt) + " " + name);
    const std::size_t events = world_.eventMark();
    const std::size_t deck = world_.deckMark();
    const std::string dev = std::to_string(world_.device(vt));
    world_.writeSlot(vt, engine::kCommandSlot, std::to_string(command));
    const auto written = world_.waitEvent(
        events,
        [&](const EventRecord& e) {
            return e.event == "change" && e.field("dev") == dev &&
                   e.field("slot") == std::to_string(engine::kCommandSlot);
        },
        kStateMs);
    const auto reached =
        world_.waitEvent(events,
                         world_.slotWrite(vt, engine::kTransportStateSlot,
                                          [&](const std::string& text) { return text == state; }),
                         kStateMs);
    const std::string prefix = framePrefix(command);
    const auto wire = world_.waitDeck(
        deck,
        [&](const LogLine& line) {
            return line.deck == vt && line.event == "rx" && line.detail.rfind(prefix, 0) == 0;
        },
        reached ? 1000 : 0);
    const std::string expected = quotedSlot(engine::kTransportStateSlot, state) + " within " +
                                 std::to_string(kStateMs / 1000) + " s";
    if (!reached) {
        end(step, Outcome::kFail, expected,
            lastSlot(vt, engine::kTransportStateSlot) +
                (wire ? "; the deck received the command"
                      : "; the deck never received the command (" + prefix + ")"));
        return;
    }
    std::string came = quotedSlot(engine::kTransportStateSlot, state);
    if (written) {
        const double toSlot = between(written->microseconds, reached->microseconds);
        timing("VT" + std::to_string(vt) + " command to slot 2").milliseconds.push_back(toSlot);
        came += " " + ms(toSlot) + " after the command";
        if (wire) {
            const double toWire = between(written->microseconds, deckUs(*wire));
            timing("VT" + std::to_string(vt) + " slot write to wire")
                .milliseconds.push_back(toWire);
            came += ", on the wire after " + ms(toWire);
        }
    }
    end(step, Outcome::kPass, expected, came);
}

void Script::timecodeFollows(int vt) {
    StepResult& step = begin("VT" + std::to_string(vt) + " timecode follows while playing");
    const std::size_t events = world_.eventMark();
    const std::size_t deck = world_.deckMark();
    Sleep(kWatchMs);
    pollRound(vt, deck);
    std::vector<std::string> values;
    const auto isTimecode =
        world_.slotWrite(vt, engine::kTimecodeSlot, [](const std::string&) { return true; });
    for (const EventRecord& event : world_.eventsSince(events))
        if (isTimecode(event)) values.push_back(event.text.value_or(""));
    bool rising = values.size() >= 3;
    for (std::size_t i = 1; i < values.size(); ++i)
        if (!(values[i - 1] < values[i])) rising = false;
    const std::string expected =
        "slot 11 rising, at least 3 new timecodes in " + std::to_string(kWatchMs / 1000) + " s";
    std::string came = std::to_string(values.size()) + " timecodes";
    if (!values.empty()) came += ", " + values.front() + " to " + values.back();
    end(step, rising ? Outcome::kPass : Outcome::kFail, expected, came);
}

// From one status request that the deck received to the next, from a mark on: the driver
// visits each VT once a round. Measured while no command is written, as commands bring
// status requests of their own.
void Script::pollRound(int vt, std::size_t deckMark) {
    std::optional<std::uint64_t> previous;
    const std::string status = framePrefix(engine::kStatusSense);
    Timing& poll = timing("VT" + std::to_string(vt) + " poll round");
    for (const LogLine& line : world_.deckSince(deckMark)) {
        if (line.deck != vt || line.event != "rx" || line.detail.rfind(status, 0) != 0) continue;
        if (previous) {
            const double gap = between(*previous, deckUs(line));
            if (gap <= kLongestPollMs) poll.milliseconds.push_back(gap);
        }
        previous = deckUs(line);
    }
}

void Script::cue(int vt) {
    StepResult& step = begin("VT" + std::to_string(vt) + " cue");
    std::string now;
    const auto isTimecode =
        world_.slotWrite(vt, engine::kTimecodeSlot, [](const std::string&) { return true; });
    for (const EventRecord& event : world_.eventsSince(0))
        if (isTimecode(event)) now = event.text.value_or("");
    const std::string point = timecodeAhead(now, kCueAheadSeconds).value_or("10.00.30.00");
    const std::size_t events = world_.eventMark();
    world_.writeSlot(vt, engine::kCuePointSlot, point);
    world_.writeSlot(vt, engine::kCommandSlot, std::to_string(engine::kCueUpWithData));
    const std::string expected = quotedSlot(engine::kTransportStateSlot, "21") + " (cued) and " +
                                 quotedSlot(engine::kTimecodeSlot, point) + " within " +
                                 std::to_string(kCueMs / 1000) + " s";
    const auto cued =
        world_.waitEvent(events,
                         world_.slotWrite(vt, engine::kTransportStateSlot,
                                          [](const std::string& text) { return text == "21"; }),
                         kCueMs);
    const auto there =
        world_.waitEvent(events,
                         world_.slotWrite(vt, engine::kTimecodeSlot,
                                          [&](const std::string& text) { return text == point; }),
                         cued ? kStateMs : 0);
    if (!cued || !there) {
        end(step, Outcome::kFail, expected,
            lastSlot(vt, engine::kTransportStateSlot) + ", " + lastSlot(vt, engine::kTimecodeSlot));
        return;
    }
    char text[96];
    std::snprintf(text, sizeof text, "cued at %s after %.1f s", point.c_str(),
                  static_cast<double>(GetTickCount64() - stepStart_) / 1000.0);
    end(step, Outcome::kPass, expected, text);
}

void Script::silentDeck(int vt) {
    const auto commsWrite = [&](const char* start) {
        return world_.slotWrite(vt, engine::kCommsStateSlot, [start](const std::string& text) {
            return text.rfind(start, 0) == 0;
        });
    };
    const std::string deck = "deck " + std::to_string(vt);
    for (const bool silent : {true, false}) {
        StepResult& step =
            begin("VT" + std::to_string(vt) + (silent ? " deck goes silent" : " deck comes back"));
        const std::size_t events = world_.eventMark();
        const ULONGLONG start = GetTickCount64();
        if (!world_.deckControl(deck + (silent ? " fault silent" : " clear"))) {
            end(step, Outcome::kFail, "the deck emulator to take the fault",
                "no answer from the deck emulator");
            continue;
        }
        const char* start_text = silent ? "1," : "0,";
        const std::string expected = std::string("slot 3 \"") + start_text + "\" within " +
                                     std::to_string(kCommsMs / 1000) + " s";
        const auto seen = world_.waitEvent(events, commsWrite(start_text), kCommsMs);
        if (!seen) {
            end(step, Outcome::kFail, expected, lastSlot(vt, engine::kCommsStateSlot));
            continue;
        }
        const double after = static_cast<double>(GetTickCount64() - start);
        timing("VT" + std::to_string(vt) + (silent ? " silent deck seen" : " deck back seen"))
            .milliseconds.push_back(after);
        end(step, Outcome::kPass, expected,
            quotedSlot(engine::kCommsStateSlot, seen->text.value_or("")) + " after " + ms(after));
    }
}

void Script::pulledCable() {
    StepResult& step = begin("VT1 pulled cable");
    if (world_.options().unattended) {
        end(step, Outcome::kSkip, "", "--unattended: nobody at the cable");
        return;
    }
    const std::string ports = "COM" + std::to_string(world_.driverPort(1)) + " to COM" +
                              std::to_string(world_.deckPort(1));
    const auto commsWrite = [&](const char* start) {
        return world_.slotWrite(1, engine::kCommsStateSlot, [start](const std::string& text) {
            return text.rfind(start, 0) == 0;
        });
    };
    for (const bool pull : {true, false}) {
        const std::size_t events = world_.eventMark();
        std::fprintf(out_,
                     pull ? "      >>> Pull the cable of VT1 (%s) out now, at either end. "
                            "Waiting up to %lu s for the driver to see it.\n"
                          : "      >>> Plug the cable of VT1 (%s) back in now. Waiting up to "
                            "%lu s for the driver to see it.\n",
                     ports.c_str(), static_cast<unsigned long>(kPersonMs / 1000));
        std::fflush(out_);
        const ULONGLONG start = GetTickCount64();
        const char* start_text = pull ? "1," : "0,";
        const auto seen = world_.waitEvent(events, commsWrite(start_text), kPersonMs);
        if (!seen) {
            end(step, Outcome::kFail,
                std::string("slot 3 \"") + start_text + "\" once the cable was " +
                    (pull ? "pulled" : "plugged back"),
                lastSlot(1, engine::kCommsStateSlot));
            return;
        }
        timing(pull ? "VT1 pulled cable seen" : "VT1 cable back seen")
            .milliseconds.push_back(static_cast<double>(GetTickCount64() - start));
    }
    end(step, Outcome::kPass, "",
        "the driver saw the cable go (slot 3 \"1,\") and come back (\"0,\")");
}

void Script::exitWithGoodbyes() {
    StepResult& step = begin("exit with every goodbye");
    const std::size_t events = world_.eventMark();
    const auto window = sim::probe::DriverWindow::find("CLASS_KORVEL", world_.driverId());
    const std::string expected = "File, Exit: a goodbye to every infodriver and exit code 0";
    if (!window || !world_.driverRunning()) {
        end(step, Outcome::kFail, expected, "korvel.exe was no longer running");
        return;
    }
    window->command(IDM_EXIT);
    const auto code = world_.driverExit(kGoodbyeMs);
    int goodbyes = 0;
    std::string missing;
    for (int vt = 1; vt <= world_.options().vts; ++vt) {
        const std::string dev = std::to_string(world_.device(vt));
        if (world_.waitEvent(
                events,
                [&](const EventRecord& e) { return e.event == "gone" && e.field("dev") == dev; },
                code ? 1000 : 0))
            ++goodbyes;
        else
            missing += " " + dev;
    }
    std::string came = std::to_string(goodbyes) + " of " + std::to_string(world_.options().vts) +
                       " goodbyes" + (missing.empty() ? "" : " (none from" + missing + ")") + ", ";
    came += code ? "exit code " + std::to_string(*code) : "still running after 15 s";
    end(step, code && *code == 0 && missing.empty() ? Outcome::kPass : Outcome::kFail, expected,
        came);
}

RehearsalRun Script::run() {
    if (comeUp()) {
        for (int vt = 1; vt <= world_.options().vts && !gInterrupted; ++vt) {
            // The control system's timecode period: slot 11 follows the tape from here on.
            world_.writeSlot(vt, engine::kTimecodePeriodSlot, "100");
            transport(vt, "play", engine::kPlay, "2");
            timecodeFollows(vt);
            transport(vt, "stop", engine::kStop, "1");
            transport(vt, "fast forward", engine::kFastForward, "5");
            transport(vt, "rewind", engine::kRewind, "4");
            cue(vt);
            silentDeck(vt);
        }
        if (!gInterrupted) pulledCable();
        exitWithGoodbyes();
    }
    return run_;
}

}  // namespace

RehearsalRun runRehearsal(RehearsalWorld& world, std::FILE* out) {
    return Script(world, out).run();
}

}  // namespace korvel::tools::rehearse
