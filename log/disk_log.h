#pragma once

#include "log/disk_log_platform.h"

namespace korvel::log {

// Appends time-stamped lines of serial traffic to a text file under the log folder:
// "%RZ_ROOT%\%RZ_SYSTEM%\logs" when both variables are set, else "c:\vraxlogs". Lines go
// straight to the file; while no file is open they are dropped. Main thread only.
class DiskLog {
  public:
    // File naming modes: one file for ever, one per day, one per hour.
    static constexpr int kSingleFile = 1;  // <dir>\<name>\<name>.log
    static constexpr int kDailyFile = 2;   // <dir>\<name>\yyyymmdd.log
    static constexpr int kHourlyFile = 3;  // <dir>\<name>\yyyymmdd-hh.log

    static constexpr int kNameSize = 32;       // at most 31 characters of the name are kept
    static constexpr int kFileNameSize = 260;  // the longest full path

    DiskLog(const char* name, int mode, DiskLogPlatform& platform = defaultDiskLogPlatform());
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
    // The full path of the current (or last tried) file; empty when none was formed.
    const char* fileName() const { return fileName_; }
    const char* name() const { return name_; }
    int mode() const { return mode_; }

  private:
    void closeFile();

    DiskLogPlatform& platform_;
    char lineBuffer_[64] = {};
    char name_[kNameSize] = {};
    DiskLogPlatform::FileHandle file_ = DiskLogPlatform::kNoFile;
    int mode_ = kSingleFile;
    char fileName_[kFileNameSize] = {};
    int filePeriod_ = -1;  // the day (daily files) or hour (hourly files) of the open file
};

// The driver's log: name "korvel", one file, appended to across runs.
inline constexpr const char* kDriverLogName = "korvel";
inline constexpr int kDriverLogMode = DiskLog::kSingleFile;

}  // namespace korvel::log
