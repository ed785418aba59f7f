#pragma once

// Everything a rehearsal runs, in a temporary folder of its own: the deck emulator on the
// deck ports, the infodriver emulator, and a copy of the real korvel.exe beside the stand-in
// interface library on the driver's ports. What they print is read back here.
#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/infodriver/line_protocol.h"
#include "sim/vtr/wire_log.h"
#include "tools/rehearse/child_process.h"
#include "tools/rehearse/rehearsal_options.h"

namespace korvel::tools::rehearse {

// Set from the console's Ctrl+C (or close) handler: every wait gives up at once.
extern std::atomic<bool> gInterrupted;

// The programs of the package a rehearsal needs, as full paths.
struct Programs {
    std::string rehearse;    // this program
    std::string driver;      // korvel.exe: beside this program or one folder up
    std::string decks;       // vtr-emulator.exe: the same
    std::string infodriver;  // infodriver-emulator.exe, beside this program
    std::string library;     // the stand-in VRAXIF32.dll, beside this program
};
// The programs, or none with what is missing in `missing`.
std::optional<Programs> findPrograms(std::string& missing);

class RehearsalWorld {
  public:
    RehearsalWorld(const RehearsalOptions& options, const Programs& programs);
    ~RehearsalWorld();  // ends whatever still runs; removes the folder unless --keep
    RehearsalWorld(const RehearsalWorld&) = delete;
    RehearsalWorld& operator=(const RehearsalWorld&) = delete;

    // The temporary folder with the driver's copy and its settings; false with the reason.
    bool prepare(std::string& error);
    bool startDecks(std::string& error);
    bool startInfodriver(std::string& error);
    bool startDriver(std::string& error);
    // Ends the driver through its menu's Exit (so that every VT says goodbye), then the two
    // emulators; whatever does not end in time is ended by force, and said in `notes`.
    void stop(std::vector<std::string>& notes);

    const std::string& folder() const { return folder_; }
    std::string logsFolder() const;  // the driver's logs (traffic log, events journal)
    int device(int vt) const { return options_.device + vt - 1; }
    int driverPort(int vt) const { return options_.driverPort + vt - 1; }
    int deckPort(int vt) const { return options_.deckPort + vt - 1; }
    const RehearsalOptions& options() const { return options_; }
    bool driverRunning() const { return driver_.running(); }
    DWORD driverId() const { return driver_.id(); }
    std::optional<DWORD> driverExit(DWORD timeoutMs) const {
        return driver_.waitForExit(timeoutMs);
    }
    bool jobUsable() const { return job_.usable(); }

    // The control system writes a slot of a VT.
    void writeSlot(int vt, int slot, const std::string& text);
    // A line to the deck emulator; true once it has taken it.
    bool deckControl(const std::string& line);

    // What the infodriver emulator and the deck emulator printed, parsed, from a mark on.
    std::size_t eventMark();
    std::size_t deckMark();
    std::vector<sim::EventRecord> eventsSince(std::size_t mark);
    std::vector<sim::vtr::LogLine> deckSince(std::size_t mark);
    std::optional<sim::EventRecord> waitEvent(
        std::size_t mark, const std::function<bool(const sim::EventRecord&)>& match,
        DWORD timeoutMs);
    std::optional<sim::vtr::LogLine> waitDeck(
        std::size_t mark, const std::function<bool(const sim::vtr::LogLine&)>& match,
        DWORD timeoutMs);
    // The latest text the driver wrote into a VT's slot, or "nothing".
    std::string lastSlotText(int vt, int slot);
    // The emulators' output as printed, for the report.
    std::vector<std::string> deckLog() const { return decks_.linesFrom(0); }
    std::vector<std::string> infodriverLog() const { return infodriver_.linesFrom(0); }

    // True when a slot write of the driver is this VT's slot with a text the test accepts.
    std::function<bool(const sim::EventRecord&)> slotWrite(
        int vt, int slot, const std::function<bool(const std::string&)>& text) const;

  private:
    void refresh();
    bool startEmulator(ChildProcess& process, const std::string& commandLine,
                       const std::function<bool()>& ready, const char* name, std::string& error);

    RehearsalOptions options_;
    Programs programs_;
    std::string folder_;
    ChildJob job_;
    ChildProcess decks_;
    ChildProcess infodriver_;
    ChildProcess driver_;
    std::vector<sim::EventRecord> events_;
    std::vector<sim::vtr::LogLine> deckLines_;
    std::size_t eventsRead_ = 0;
    std::size_t deckRead_ = 0;
    int controls_ = 0;
};

}  // namespace korvel::tools::rehearse
