#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "log/disk_log_platform.h"
#include "log/printf_format.h"

namespace korvel::log {

// The kinds of event the journal keeps. Each has a short fixed word in the journal's lines
// and a severity; warnings and errors also go to the Windows event log.
enum class EventKind {
    kStart,                   // START: version, architecture, command line, files, VT lines
    kSetting,                 // SETTING: a settings value that is not what its key uses
    kRefused,                 // REFUSED: the driver would not start
    kFail,                    // FAIL: a VT's communication failed
    kRecover,                 // RECOVER: a VT's communication is back
    kPortLost,                // PORTLOST: a VT's serial port has gone
    kPortBack,                // PORTBACK: a lost port opened again
    kTxTimeout,               // TXTIMEOUT: a deck did not answer (a storm gives one line)
    kInfodriverConnected,     // IDCONNECT
    kInfodriverDisconnected,  // IDDISCONNECT: the infodriver said goodbye
    kInfodriverGone,          // IDGONE: its process went without a goodbye
    kInfodriverSilent,        // IDSILENT: a call to it did not come back in time
    kTrafficLost,             // TRAFFICLOST: lines the traffic log could not keep
    kEventsLost,              // EVENTSLOST: lines this journal could not keep
    kExit,                    // EXIT: reason and code
    kCrash,                   // CRASH
    kHang,                    // HANG
};

enum class EventSeverity { kInformation, kWarning, kError };

const char* eventWord(EventKind kind);
EventSeverity eventSeverity(EventKind kind);

// Local time to the millisecond.
struct EventTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The system's local time (the Windows clock in the program, the C library's elsewhere).
EventTime localEventTime();

// Where warnings and errors, the start's first line and the exit go besides the journal's
// file: the Windows event log in the program. Called on the journal's own thread, never on
// the main thread.
class EventLogSink {
  public:
    virtual ~EventLogSink() = default;
    virtual void report(EventKind kind, EventSeverity severity, const char* line) = 0;
};

// One journal line: "yyyy-mm-dd hh:mm:ss.mmm VTn WORD text" ("-" where no VT is concerned).
// Returns the length written (cut to fit the buffer).
int formatEventLine(char* out, int size, const EventTime& time, EventKind kind, int vt,
                    const char* text);

// The folder of the journal's daily files: "events" in the traffic log's folder, that is
// "%RZ_ROOT%\%RZ_SYSTEM%\logs\korvel\events" when both variables are set, else
// "c:\vraxlogs\korvel\events". dumpsFolder is its neighbour "dumps".
std::string logsFolder(DiskLogPlatform& platform);
std::string eventsFolder(DiskLogPlatform& platform);
std::string dumpsFolder(DiskLogPlatform& platform);

// The events journal: always on, one daily file "yyyymmdd.log" in its folder, files older
// than keepDays removed when a day's file is opened (0 keeps them all). Any thread records;
// lines are stamped when recorded and written by the journal's own thread, through a
// fixed-size queue, so recording never waits on a disk, a share or the event log. A full
// queue drops lines and says how many in the next line it writes.
class EventsJournal {
  public:
    static constexpr int kQueueSize = 128;
    static constexpr int kTextSize = 480;
    static constexpr int kLineSize = kTextSize + 64;

    using Clock = std::function<EventTime()>;

    // keepDays below 0: not known yet, nothing is removed until setKeepDays.
    EventsJournal(std::string folder, int keepDays, DiskLogPlatform& platform,
                  Clock clock = &localEventTime, EventLogSink* eventLog = nullptr);
    // Writes what is queued, then ends its thread.
    ~EventsJournal();
    EventsJournal(const EventsJournal&) = delete;
    EventsJournal& operator=(const EventsJournal&) = delete;

    void record(EventKind kind, int vt, const char* text);
    // For the crash and hang paths, where another thread may hold the queue or the heap:
    // gives up rather than wait more than timeoutMs for the queue, and allocates nothing.
    bool recordUrgent(EventKind kind, int vt, const char* text, std::uint32_t timeoutMs);
    // Waits until everything recorded so far is written; false when timeoutMs passed first.
    bool flush(std::uint32_t timeoutMs);

    // The days kept, once the settings are read: old files go with the next line written.
    void setKeepDays(int keepDays);

    const std::string& folder() const { return folder_; }

  private:
    struct Entry {
        EventTime time;
        EventKind kind = EventKind::kStart;
        int vt = 0;
        char text[kTextSize] = {};
    };

    void put(EventKind kind, int vt, const char* text);
    void run();
    void write(const Entry& entry);
    bool openFor(const EventTime& time);
    void removeExpiredFiles(const EventTime& today);
    void closeFile();

    std::string folder_;
    std::atomic<int> keepDays_;
    std::atomic<bool> pruneDue_{false};
    bool startReported_ = false;  // the event log hears the first start line only
    DiskLogPlatform& platform_;
    Clock clock_;
    EventLogSink* eventLog_;

    std::timed_mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable_any drained_;
    Entry queue_[kQueueSize];
    int head_ = 0;
    int count_ = 0;
    bool busy_ = false;  // the writer holds entries taken from the queue
    unsigned dropped_ = 0;
    bool stopping_ = false;

    // The writer's own state.
    DiskLogPlatform::FileHandle file_ = DiskLogPlatform::kNoFile;
    int fileDay_ = 0;  // year * 10000 + month * 100 + day of the open file

    std::thread writer_;
};

// The process's journal, in one place: recordEvent goes nowhere until one is installed.
struct EventsState {
    std::atomic<EventsJournal*> journal{nullptr};
};
EventsState& eventsState();

// Records into the process's journal (formatted with printf rules, cut to fit).
void recordEvent(EventKind kind, int vt, const char* format, ...) KORVEL_PRINTF_FORMAT(3, 4);

// The traffic log's lost lines, for it to report.
void lostTrafficLines(unsigned count);

}  // namespace korvel::log
