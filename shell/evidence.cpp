#include "shell/evidence.h"

#include <windows.h>

#include <cstdio>

#include "korvel_version.h"
#include "log/disk_log_platform.h"
#include "shell/crash_dump.h"
#include "shell/fatal_exception.h"
#include "shell/hang_watchdog.h"

namespace korvel::shell {
namespace {

// How long the crash and hang paths wait for the journal: the line is worth a moment, an
// end that never comes is not.
constexpr std::uint32_t kUrgentQueueMs = 1000;
constexpr std::uint32_t kUrgentFlushMs = 3000;
constexpr std::uint32_t kExitFlushMs = 3000;

void recordUrgently(log::EventKind kind, const char* line) {
    log::EventsJournal* journal = log::eventsState().journal.load();
    if (journal == nullptr) return;
    if (journal->recordUrgent(kind, 0, line, kUrgentQueueMs)) journal->flush(kUrgentFlushMs);
}

void crashLine(const char* line) {
    recordUrgently(log::EventKind::kCrash, line);
}

}  // namespace

Evidence::Evidence() {
    log::DiskLogPlatform& platform = log::defaultDiskLogPlatform();
    eventLog_ = std::make_unique<Win32EventLogSink>();
    // The days kept come with the settings; until then nothing is removed.
    journal_ = std::make_unique<log::EventsJournal>(log::eventsFolder(platform), -1, platform,
                                                    &log::localEventTime, eventLog_.get());
    log::eventsState().journal = journal_.get();
    prepareDumps(log::dumpsFolder(platform).c_str());
    endAtOnceOnCrash(&crashLine, KORVEL_VERSION_TEXT);
}

Evidence::~Evidence() {
    log::eventsState().journal = nullptr;
    // A journal whose disk stopped answering is left to the end of the process rather than
    // waited for.
    if (!journal_->flush(kExitFlushMs)) {
        (void)journal_.release();
        (void)eventLog_.release();
    }
}

void Evidence::recordExit(const char* reason, int code) {
    log::recordEvent(log::EventKind::kExit, 0, "%s; exit code %d", reason ? reason : "", code);
}

void recordStart(const char* commandLine, const char* settingsFile) {
    const log::EventsJournal* journal = log::eventsState().journal.load();
    log::recordEvent(log::EventKind::kStart, 0,
                     "Korvel VTR driver %s, %d-bit, process %lu, command line \"%s\", settings "
                     "file %s, events in %s",
                     KORVEL_VERSION_TEXT, static_cast<int>(8 * sizeof(void*)),
                     static_cast<unsigned long>(GetCurrentProcessId()),
                     commandLine ? commandLine : "", settingsFile ? settingsFile : "",
                     journal ? journal->folder().c_str() : "");
}

void endHungProcess(unsigned limitSeconds) {
    // The line first: it is the evidence a site looks at, and the dump can take seconds.
    char line[3 * MAX_PATH];
    std::snprintf(line, sizeof line,
                  "korvel: main loop has not turned for %u s (a call that never came back); "
                  "version %s; a dump of every thread follows",
                  limitSeconds, KORVEL_VERSION_TEXT);
    OutputDebugStringA(line);
    recordUrgently(log::EventKind::kHang, line);
    char dump[2 * MAX_PATH] = {};
    if (writeDump("hang", nullptr, dump, sizeof dump)) {
        std::snprintf(line, sizeof line, "korvel: hang dump %s", dump);
        recordUrgently(log::EventKind::kHang, line);
    }
    TerminateProcess(GetCurrentProcess(), kHangExitCode);
    for (;;) Sleep(INFINITE);
}

}  // namespace korvel::shell
