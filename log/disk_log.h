#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "log/disk_log_platform.h"
#include "log/log_writer.h"

namespace korvel::log {

// One log's file under the log folder: "%RZ_ROOT%\%RZ_SYSTEM%\logs" when both variables are
// set, else "c:\vraxlogs". Lines go straight to the file, each in one write with its line
// end; while no file is open, or while the volume is nearly full, they are dropped. A file
// that could not be opened or written is tried again at most once a minute after the
// attempt ended, so that a scanner holding it or a share gone for a moment costs a minute of
// log, not the rest of the run. Every call waits on the file system: it belongs to the log's
// writer thread (DiskLog below), or to a program with nothing else to do.
class DiskLogFile {
  public:
    // File naming modes: one file for ever, one per day, one per hour.
    static constexpr int kSingleFile = 1;  // <dir>\<name>\<name>.log
    static constexpr int kDailyFile = 2;   // <dir>\<name>\yyyymmdd.log
    static constexpr int kHourlyFile = 3;  // <dir>\<name>\yyyymmdd-hh.log

    static constexpr int kNameSize = 32;       // at most 31 characters of the name are kept
    static constexpr int kFileNameSize = 260;  // the longest full path

    // Below this much free space on the log's volume no line is written.
    static constexpr std::uint64_t kMinimumFreeBytes = 1ull << 30;
    // How often the free space is looked at while lines are written.
    static constexpr std::uint32_t kSpaceCheckPeriodMs = 10000;
    // The shortest wait before a file that could not be opened is tried again.
    static constexpr std::uint32_t kReopenPeriodMs = 60000;

    struct DeferOpen {};

    DiskLogFile(const char* name, int mode, DiskLogPlatform& platform = defaultDiskLogPlatform());
    // With keepDays above 0, opening a dated file deletes this log's dated files whose date
    // lies more than keepDays days before today's.
    DiskLogFile(const char* name, int mode, int keepDays,
                DiskLogPlatform& platform = defaultDiskLogPlatform());
    // Forms the file's name for the time now and opens nothing: open() does, later, on the
    // thread that owns the file.
    DiskLogFile(const char* name, int mode, int keepDays, DiskLogPlatform& platform, DeferOpen);
    virtual ~DiskLogFile();
    DiskLogFile(const DiskLogFile&) = delete;
    DiskLogFile& operator=(const DiskLogFile&) = delete;

    // Closes the current file and opens the one that name and mode give for the time now.
    void open(const char* name, int mode);
    void open() { open(name_, mode_); }
    void close();

    // Writes the time stamp "dd/mm/yyyy hh:mm:ss ", the text, ", " and each of the fields
    // that is not null, and the line end, with the time now.
    void writeLine(const char* text, const char* f1 = nullptr, const char* f2 = nullptr,
                   const char* f3 = nullptr, const char* f4 = nullptr, const char* f5 = nullptr);
    // Writes a line formatted at `stamp` (formatLogLine). Moves to the next dated file first
    // when the stamp's date (daily files) or date and hour (hourly files) differ from the
    // open file's. With lostBefore above 0, a line saying that many lines were lost goes
    // first; a count that cannot be written yet is kept for the next line that is.
    void writeFormatted(const DiskLogPlatform::LocalTime& stamp, const std::string& line,
                        std::uint32_t lostBefore = 0);

    bool isOpen() const { return open_.load(); }
    // True while lines are held back because the volume is nearly full.
    bool paused() const { return paused_.load(); }
    // The full path of the current (or last tried) file; empty when none was formed. Owner's
    // thread only; other threads use fileNameCopy().
    const char* fileName() const { return fileName_; }
    std::string fileNameCopy() const;
    const char* name() const { return name_; }
    int mode() const { return mode_; }

  private:
    void closeFile();
    // Fills fileName_ for the time given; false when no name can be formed.
    bool formName(const DiskLogPlatform::LocalTime& now);
    void removeExpiredFiles(const DiskLogPlatform::LocalTime& today);
    // Looks at the volume's free space and says when writing stops or starts again.
    void checkFreeSpace();
    // One write of the whole line; a failure lets the file go.
    bool writeWhole(const std::string& line);

    DiskLogPlatform& platform_;
    char name_[kNameSize] = {};
    DiskLogPlatform::FileHandle file_ = DiskLogPlatform::kNoFile;
    int mode_ = kSingleFile;
    char fileName_[kFileNameSize] = {};
    mutable std::mutex fileNameLock_;  // held while fileName_ changes, and to copy it
    long long filePeriod_ = -1;        // the date (daily files) or date and hour of the open file
    int keepDays_ = 0;
    std::uint32_t lastOpenTick_ = 0;
    std::uint32_t lastSpaceCheckTick_ = 0;
    std::uint32_t lostLines_ = 0;  // lost lines not yet reported in the file
    std::atomic<bool> open_{false};
    std::atomic<bool> paused_{false};
};

// "dd/mm/yyyy hh:mm:ss ", the text, ", " and each field that is not null, then CR LF.
std::string formatLogLine(const DiskLogPlatform::LocalTime& stamp, const char* text,
                          const char* f1 = nullptr, const char* f2 = nullptr,
                          const char* f3 = nullptr, const char* f4 = nullptr,
                          const char* f5 = nullptr);

// A log as the main thread uses it: writeLine stamps and formats the line and hands it to
// the log's writer thread, which does all the file work; the caller never waits on the file
// system. When the writer's queue is full the line is dropped and counted, and the next line
// that reaches the file is preceded by one saying how many were lost. Main thread only.
class DiskLog {
  public:
    static constexpr int kSingleFile = DiskLogFile::kSingleFile;
    static constexpr int kDailyFile = DiskLogFile::kDailyFile;
    static constexpr int kHourlyFile = DiskLogFile::kHourlyFile;

    DiskLog(const char* name, int mode, DiskLogPlatform& platform = defaultDiskLogPlatform());
    // writer: the thread to use, shared with other logs; null for one of the log's own.
    DiskLog(const char* name, int mode, int keepDays,
            DiskLogPlatform& platform = defaultDiskLogPlatform(),
            std::shared_ptr<LogWriter> writer = nullptr);
    // Hands the file's close to the writer and returns; a writer of the log's own is waited
    // for at most LogWriter::kFinishWaitMs.
    ~DiskLog();
    DiskLog(const DiskLog&) = delete;
    DiskLog& operator=(const DiskLog&) = delete;

    void writeLine(const char* text, const char* f1 = nullptr, const char* f2 = nullptr,
                   const char* f3 = nullptr, const char* f4 = nullptr, const char* f5 = nullptr);
    // Waits at most timeoutMs for the lines handed over so far to be written (or dropped by
    // the file); true when they were.
    bool drain(std::uint32_t timeoutMs);

    // As last seen by the writer thread.
    bool isOpen() const { return file_->isOpen(); }
    bool paused() const { return file_->paused(); }
    std::string fileName() const { return file_->fileNameCopy(); }
    // Lines dropped because the writer's queue was full, since the log was made.
    std::uint64_t lostLines() const { return lostTotal_; }

  private:
    DiskLogPlatform& platform_;
    std::shared_ptr<LogWriter> writer_;
    std::shared_ptr<DiskLogFile> file_;
    std::uint32_t lostSinceLastLine_ = 0;
    std::uint64_t lostTotal_ = 0;
};

// The driver's log: name "korvel", by default one file, appended to across runs.
inline constexpr const char* kDriverLogName = "korvel";
inline constexpr int kDriverLogMode = DiskLog::kSingleFile;

// The file naming mode for the "LogMode" setting: 2 a file a day, 3 a file an hour, any
// other value the one file.
int driverLogMode(int logModeSetting);

}  // namespace korvel::log
