#pragma once

#include <memory>

#include "log/events_journal.h"
#include "shell/event_log_sink.h"

namespace korvel::shell {

// What the driver leaves behind for the morning after: the events journal (with the Windows
// event log behind it), crash dumps, and the hang watchdog's action. Made first thing in
// WinMain and ended last, so that every other part can record into it.
class Evidence {
  public:
    Evidence();
    // Writes what is queued (for a few seconds at most) and ends the journal.
    ~Evidence();
    Evidence(const Evidence&) = delete;
    Evidence& operator=(const Evidence&) = delete;

    // The line that ends the journal of a run: the reason and the exit code.
    void recordExit(const char* reason, int code);

  private:
    std::unique_ptr<Win32EventLogSink> eventLog_;
    std::unique_ptr<log::EventsJournal> journal_;
};

// "Korvel VTR driver 1.4.0, 64-bit, command line "101", events in c:\...": the start line.
void recordStart(const char* commandLine, const char* settingsFile);

// What the watchdog does with a main loop that stood still for limitSeconds: the events line
// and the event log, a dump of every thread, and the end with kHangExitCode.
[[noreturn]] void endHungProcess(unsigned limitSeconds);

}  // namespace korvel::shell
