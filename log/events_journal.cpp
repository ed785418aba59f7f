#include "log/events_journal.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "log/dated_log_files.h"

namespace korvel::log {
namespace {

constexpr const char* kDefaultLogsFolder = "c:\\vraxlogs";

struct KindInfo {
    const char* word;
    EventSeverity severity;
};

KindInfo infoOf(EventKind kind) {
    switch (kind) {
        case EventKind::kStart:
            return {"START", EventSeverity::kInformation};
        case EventKind::kSetting:
            return {"SETTING", EventSeverity::kWarning};
        case EventKind::kRefused:
            return {"REFUSED", EventSeverity::kError};
        case EventKind::kFail:
            return {"FAIL", EventSeverity::kInformation};
        case EventKind::kRecover:
            return {"RECOVER", EventSeverity::kInformation};
        case EventKind::kPortLost:
            return {"PORTLOST", EventSeverity::kError};
        case EventKind::kPortBack:
            return {"PORTBACK", EventSeverity::kInformation};
        case EventKind::kTxTimeout:
            return {"TXTIMEOUT", EventSeverity::kInformation};
        case EventKind::kInfodriverConnected:
            return {"IDCONNECT", EventSeverity::kInformation};
        case EventKind::kInfodriverDisconnected:
            return {"IDDISCONNECT", EventSeverity::kInformation};
        case EventKind::kInfodriverGone:
            return {"IDGONE", EventSeverity::kError};
        case EventKind::kInfodriverSilent:
            return {"IDSILENT", EventSeverity::kWarning};
        case EventKind::kTrafficLost:
            return {"TRAFFICLOST", EventSeverity::kWarning};
        case EventKind::kEventsLost:
            return {"EVENTSLOST", EventSeverity::kWarning};
        case EventKind::kExit:
            return {"EXIT", EventSeverity::kInformation};
        case EventKind::kCrash:
            return {"CRASH", EventSeverity::kError};
        case EventKind::kHang:
            return {"HANG", EventSeverity::kError};
    }
    return {"EVENT", EventSeverity::kInformation};
}

int dayKey(const EventTime& time) {
    return time.year * 10000 + time.month * 100 + time.day;
}

}  // namespace

const char* eventWord(EventKind kind) {
    return infoOf(kind).word;
}

EventSeverity eventSeverity(EventKind kind) {
    return infoOf(kind).severity;
}

int formatEventLine(char* out, int size, const EventTime& time, EventKind kind, int vt,
                    const char* text) {
    if (size <= 0) return 0;
    char vtField[8] = "-";
    if (vt > 0) std::snprintf(vtField, sizeof vtField, "VT%d", vt % 100);
    const int n = std::snprintf(out, static_cast<std::size_t>(size),
                                "%04d-%02d-%02d %02d:%02d:%02d.%03d %s %s %s", time.year,
                                time.month, time.day, time.hour, time.minute, time.second,
                                time.millisecond, vtField, eventWord(kind), text ? text : "");
    const int length = n < 0 ? 0 : (n < size ? n : size - 1);
    // One event, one line: a line end inside a text would start a false one.
    for (int i = 0; i < length; ++i) {
        if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
    }
    return length;
}

std::string logsFolder(DiskLogPlatform& platform) {
    const char* root = platform.environment("RZ_ROOT");
    const char* system = platform.environment("RZ_SYSTEM");
    if (root != nullptr && *root != '\0' && system != nullptr && *system != '\0') {
        return std::string(root) + "\\" + system + "\\logs";
    }
    return kDefaultLogsFolder;
}

std::string eventsFolder(DiskLogPlatform& platform) {
    return logsFolder(platform) + "\\korvel\\events";
}

std::string dumpsFolder(DiskLogPlatform& platform) {
    return logsFolder(platform) + "\\korvel\\dumps";
}

EventsJournal::EventsJournal(std::string folder, int keepDays, DiskLogPlatform& platform,
                             Clock clock, EventLogSink* eventLog)
    : folder_(std::move(folder)),
      keepDays_(keepDays),
      platform_(platform),
      clock_(std::move(clock)),
      eventLog_(eventLog),
      writer_([this] { run(); }) {}

EventsJournal::~EventsJournal() {
    {
        std::lock_guard<std::timed_mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) writer_.join();
    closeFile();
}

void EventsJournal::put(EventKind kind, int vt, const char* text) {
    // The caller holds the mutex.
    if (count_ == kQueueSize) {
        ++dropped_;
        return;
    }
    Entry& entry = queue_[(head_ + count_) % kQueueSize];
    entry.time = clock_ ? clock_() : EventTime{};
    entry.kind = kind;
    entry.vt = vt;
    std::snprintf(entry.text, sizeof entry.text, "%s", text ? text : "");
    ++count_;
}

void EventsJournal::record(EventKind kind, int vt, const char* text) {
    {
        std::lock_guard<std::timed_mutex> lock(mutex_);
        put(kind, vt, text);
    }
    wake_.notify_one();
}

bool EventsJournal::recordUrgent(EventKind kind, int vt, const char* text,
                                 std::uint32_t timeoutMs) {
    std::unique_lock<std::timed_mutex> lock(mutex_, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return false;
    put(kind, vt, text);
    lock.unlock();
    wake_.notify_one();
    return true;
}

bool EventsJournal::flush(std::uint32_t timeoutMs) {
    std::unique_lock<std::timed_mutex> lock(mutex_, std::defer_lock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!lock.try_lock_until(deadline)) return false;
    return drained_.wait_until(lock, deadline, [this] { return count_ == 0 && !busy_; });
}

void EventsJournal::run() {
    // Entries are copied out a few at a time, so that recording goes on while they are
    // written.
    constexpr int kBatch = 8;
    Entry batch[kBatch];
    for (;;) {
        int taken = 0;
        unsigned dropped = 0;
        {
            std::unique_lock<std::timed_mutex> lock(mutex_);
            busy_ = false;
            if (count_ == 0) drained_.notify_all();
            wake_.wait(lock, [this] { return count_ > 0 || stopping_; });
            if (count_ == 0 && stopping_) return;
            while (taken < kBatch && count_ > 0) {
                batch[taken++] = queue_[head_];
                head_ = (head_ + 1) % kQueueSize;
                --count_;
            }
            dropped = dropped_;
            dropped_ = 0;
            busy_ = true;
        }
        if (dropped != 0) {
            Entry lost;
            lost.time = batch[0].time;
            lost.kind = EventKind::kEventsLost;
            std::snprintf(lost.text, sizeof lost.text, "%u events not kept: the queue was full",
                          dropped);
            write(lost);
        }
        for (int i = 0; i < taken; ++i) write(batch[i]);
    }
}

bool EventsJournal::openFor(const EventTime& time) {
    if (file_ != DiskLogPlatform::kNoFile && dayKey(time) == fileDay_) return true;
    closeFile();
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.log", time.year % 10000, time.month % 100,
                  time.day % 100);
    const std::string path = folder_ + "\\" + name;
    // Every folder on the way, then the file; an existing file is appended to.
    for (std::size_t cut = folder_.find('\\', 1); cut != std::string::npos;
         cut = folder_.find('\\', cut + 1)) {
        platform_.createDirectory(folder_.substr(0, cut).c_str());
    }
    platform_.createDirectory(folder_.c_str());
    file_ = platform_.openOrCreate(path.c_str());
    if (file_ == DiskLogPlatform::kNoFile) return false;
    platform_.seekToEnd(file_);
    fileDay_ = dayKey(time);
    pruneDue_ = true;
    return true;
}

void EventsJournal::setKeepDays(int keepDays) {
    keepDays_ = keepDays;
    pruneDue_ = true;
}

void EventsJournal::removeExpiredFiles(const EventTime& time) {
    const int keepDays = keepDays_;
    if (keepDays <= 0) return;
    const CalendarDate today{time.year, time.month, time.day};
    for (const std::string& file : platform_.listFiles(folder_.c_str())) {
        if (isExpiredLogFile(file.c_str(), today, keepDays)) {
            platform_.removeFile((folder_ + "\\" + file).c_str());
        }
    }
}

void EventsJournal::closeFile() {
    if (file_ != DiskLogPlatform::kNoFile) platform_.close(file_);
    file_ = DiskLogPlatform::kNoFile;
}

void EventsJournal::write(const Entry& entry) {
    char line[kLineSize];
    const int length =
        formatEventLine(line, sizeof line - 2, entry.time, entry.kind, entry.vt, entry.text);
    const EventSeverity severity = eventSeverity(entry.kind);
    // The event log hears the problems, and of the rest only the start (its first line) and
    // the exit: a monitoring agent's view, not the journal's detail.
    const bool firstStart = entry.kind == EventKind::kStart && !startReported_;
    if (firstStart) startReported_ = true;
    const bool forEventLog =
        severity != EventSeverity::kInformation || firstStart || entry.kind == EventKind::kExit;
    if (eventLog_ != nullptr && forEventLog) eventLog_->report(entry.kind, severity, line);
    if (!openFor(entry.time)) {
        platform_.debugOutput(line);
        platform_.debugOutput("\n");
        return;
    }
    if (pruneDue_.exchange(false)) removeExpiredFiles(entry.time);
    line[length] = '\r';
    line[length + 1] = '\n';
    if (!platform_.write(file_, line, static_cast<std::size_t>(length) + 2)) {
        // A share gone or a full disk: the next line opens the file again.
        closeFile();
    }
}

EventsState& eventsState() {
    static EventsState state;
    return state;
}

void recordEvent(EventKind kind, int vt, const char* format, ...) {
    EventsJournal* journal = eventsState().journal.load();
    if (journal == nullptr || format == nullptr) return;
    char text[EventsJournal::kTextSize];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    journal->record(kind, vt, text);
}

void lostTrafficLines(unsigned count) {
    if (count != 0) recordEvent(EventKind::kTrafficLost, 0, "%u traffic log lines lost", count);
}

}  // namespace korvel::log
