#pragma once

#include <cstdint>

#include "log/disk_log_platform.h"

namespace korvel::log {

// Appends time-stamped lines of serial traffic to a text file under the log folder:
// "%RZ_ROOT%\%RZ_SYSTEM%\logs" when both variables are set, else "c:\vraxlogs". Lines go
// straight to the file; while no file is open, or while the volume is nearly full, they are
// dropped. A file that could not be opened or written is tried again at most once a minute,
// so that a scanner holding it or a share gone for a moment costs a minute of log, not the
// rest of the run. Main thread only.
class DiskLog {
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

    DiskLog(const char* name, int mode, DiskLogPlatform& platform = defaultDiskLogPlatform());
    // With keepDays above 0, opening a dated file deletes this log's dated files whose date
    // lies more than keepDays days before today's.
    DiskLog(const char* name, int mode, int keepDays,
            DiskLogPlatform& platform = defaultDiskLogPlatform());
    virtual ~DiskLog();
    DiskLog(const DiskLog&) = delete;
    DiskLog& operator=(const DiskLog&) = delete;

    // Closes the current file and opens the one that name and mode give for the time now.
    void open(const char* name, int mode);

    // Writes the time stamp "dd/mm/yyyy hh:mm:ss ", the text, ", " and each of the fields
    // that is not null, and the line end. Moves to the next dated file first when the day
    // (daily files) or the hour (hourly files) has changed.
    void writeLine(const char* text, const char* f1 = nullptr, const char* f2 = nullptr,
                   const char* f3 = nullptr, const char* f4 = nullptr, const char* f5 = nullptr);

    bool isOpen() const { return file_ != DiskLogPlatform::kNoFile; }
    // True while lines are held back because the volume is nearly full.
    bool paused() const { return paused_; }
    // The full path of the current (or last tried) file; empty when none was formed.
    const char* fileName() const { return fileName_; }
    const char* name() const { return name_; }
    int mode() const { return mode_; }

  private:
    void closeFile();
    void removeExpiredFiles(const DiskLogPlatform::LocalTime& today);
    // Looks at the volume's free space and says when writing stops or starts again.
    void checkFreeSpace();

    DiskLogPlatform& platform_;
    char lineBuffer_[64] = {};
    char name_[kNameSize] = {};
    DiskLogPlatform::FileHandle file_ = DiskLogPlatform::kNoFile;
    int mode_ = kSingleFile;
    char fileName_[kFileNameSize] = {};
    int filePeriod_ = -1;  // the day (daily files) or hour (hourly files) of the open file
    int keepDays_ = 0;
    std::uint32_t lastOpenTick_ = 0;
    std::uint32_t lastSpaceCheckTick_ = 0;
    bool paused_ = false;
};

// The driver's log: name "korvel", by default one file, appended to across runs.
inline constexpr const char* kDriverLogName = "korvel";
inline constexpr int kDriverLogMode = DiskLog::kSingleFile;

// The file naming mode for the "LogMode" setting: 2 a file a day, 3 a file an hour, any
// other value the one file.
int driverLogMode(int logModeSetting);

}  // namespace korvel::log
