#include "log/disk_log.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>

#include "log/dated_log_files.h"
#include "log/events_journal.h"
#include "log/trace.h"
#include "log/traffic_line.h"

namespace korvel::log {
namespace {

constexpr const char* kLocalTimeFailed = "localtime has failed\n";
constexpr const char* kDefaultLogFolder = "c:\\vraxlogs";

bool isSet(const char* value) {
    return value != nullptr && *value != '\0';
}

// The period a dated file covers, as one number: the whole date (daily files), or the date
// and the hour (hourly files); -1 for other modes. Two moments share a file exactly when
// their periods are equal, whatever lies between them.
long long periodOf(int mode, const DiskLogPlatform::LocalTime& now) {
    const long long date = (now.year * 100LL + now.month) * 100LL + now.day;
    if (mode == DiskLogFile::kDailyFile) return date;
    if (mode == DiskLogFile::kHourlyFile) return date * 100LL + now.hour;
    return -1;
}

bool isDated(int mode) {
    return mode == DiskLogFile::kDailyFile || mode == DiskLogFile::kHourlyFile;
}

// The folder part of a full path: everything before its last separator.
std::string folderOf(const char* path) {
    const char* cut = std::strrchr(path, '\\');
    return cut == nullptr ? std::string() : std::string(path, static_cast<std::size_t>(cut - path));
}

}  // namespace

int driverLogMode(int logModeSetting) {
    return isDated(logModeSetting) ? logModeSetting : DiskLogFile::kSingleFile;
}

std::string formatLogLine(const DiskLogPlatform::LocalTime& stamp, const char* text, const char* f1,
                          const char* f2, const char* f3, const char* f4, const char* f5) {
    char head[kLogStampSize];
    formatLogStamp(head, sizeof head, stamp);
    std::string line(head);
    if (text != nullptr) line += text;
    for (const char* field : {f1, f2, f3, f4, f5}) {
        if (field == nullptr) continue;
        line += ", ";
        line += field;
    }
    line += "\r\n";
    return line;
}

// ---------------------------------------------------------------------------------------------
// DiskLogFile

DiskLogFile::DiskLogFile(const char* name, int mode, DiskLogPlatform& platform)
    : DiskLogFile(name, mode, 0, platform) {}

DiskLogFile::DiskLogFile(const char* name, int mode, int keepDays, DiskLogPlatform& platform)
    : platform_(platform), keepDays_(keepDays) {
    open(name, mode);
}

DiskLogFile::DiskLogFile(const char* name, int mode, int keepDays, DiskLogPlatform& platform,
                         DeferOpen)
    : platform_(platform), mode_(mode), keepDays_(keepDays) {
    std::snprintf(name_, sizeof name_, "%s", name ? name : "");
    DiskLogPlatform::LocalTime now;
    if (platform_.localTime(now)) formName(now);
}

DiskLogFile::~DiskLogFile() {
    closeFile();
}

void DiskLogFile::closeFile() {
    if (file_ != DiskLogPlatform::kNoFile) platform_.close(file_);
    file_ = DiskLogPlatform::kNoFile;
    open_ = false;
}

void DiskLogFile::close() {
    closeFile();
}

std::string DiskLogFile::fileNameCopy() const {
    std::lock_guard<std::mutex> hold(fileNameLock_);
    return fileName_;
}

bool DiskLogFile::formName(const DiskLogPlatform::LocalTime& now) {
    char folder[kFileNameSize];
    const char* root = platform_.environment("RZ_ROOT");
    const char* system = platform_.environment("RZ_SYSTEM");
    if (isSet(root) && isSet(system)) {
        std::snprintf(folder, sizeof folder, "%s\\%s\\logs", root, system);
    } else {
        std::snprintf(folder, sizeof folder, "%s", kDefaultLogFolder);
    }
    char formed[kFileNameSize];
    int length = -1;
    formed[0] = '\0';
    switch (mode_) {
        case kSingleFile:
            length = std::snprintf(formed, sizeof formed, "%s\\%s\\%s.log", folder, name_, name_);
            break;
        case kDailyFile:
            length = std::snprintf(formed, sizeof formed, "%s\\%s\\%04d%02d%02d.log", folder, name_,
                                   now.year, now.month, now.day);
            break;
        case kHourlyFile:
            length = std::snprintf(formed, sizeof formed, "%s\\%s\\%04d%02d%02d-%02d.log", folder,
                                   name_, now.year, now.month, now.day, now.hour);
            break;
        default:
            break;  // no file name: the log stays without a file
    }
    {
        std::lock_guard<std::mutex> hold(fileNameLock_);
        std::memcpy(fileName_, formed, sizeof fileName_);
    }
    // A path cut to fit would name some other file: better no file than the wrong one.
    return length > 0 && length < static_cast<int>(sizeof formed);
}

void DiskLogFile::open(const char* name, int mode) {
    closeFile();
    if (name != name_) std::snprintf(name_, sizeof name_, "%s", name ? name : "");
    mode_ = mode;

    DiskLogPlatform::LocalTime now;
    if (!platform_.localTime(now)) {
        platform_.debugOutput(kLocalTimeFailed);
        lastOpenTick_ = platform_.tickMs();
        return;
    }
    const bool nameFits = formName(now);
    filePeriod_ = periodOf(mode, now);

    if (nameFits) {
        if (isDated(mode)) removeExpiredFiles(now);
        file_ = platform_.openExisting(fileName_);
        if (file_ == DiskLogPlatform::kNoFile) {
            // Make every folder on the way, then the file. An existing file that merely
            // could not be opened above keeps what it holds.
            char prefix[kFileNameSize];
            for (int i = 1; fileName_[i] != '\0'; ++i) {
                if (fileName_[i] != '\\') continue;
                std::memcpy(prefix, fileName_, static_cast<std::size_t>(i));
                prefix[i] = '\0';
                platform_.createDirectory(prefix);
            }
            file_ = platform_.openOrCreate(fileName_);
        }
    }
    if (file_ != DiskLogPlatform::kNoFile) {
        platform_.seekToEnd(file_);
        open_ = true;
        // A line that an earlier failure (or a crash) cut short is ended, so that the next
        // line starts on a line of its own.
        const int last = platform_.lastByte(file_);
        if (last >= 0 && last != '\n' && !platform_.write(file_, "\r\n", 2)) closeFile();
    }
    if (file_ != DiskLogPlatform::kNoFile) {
        checkFreeSpace();
    } else {
        platform_.debugOutput("vrax_disklog: Can't open log file: ");
        platform_.debugOutput(fileName_);
        platform_.debugOutput("\n");
    }
    // Taken when the attempt ends: an open that took a minute is not followed by another
    // at once.
    lastOpenTick_ = platform_.tickMs();
}

void DiskLogFile::writeLine(const char* text, const char* f1, const char* f2, const char* f3,
                            const char* f4, const char* f5) {
    DiskLogPlatform::LocalTime now;
    if (!platform_.localTime(now)) {
        platform_.debugOutput(kLocalTimeFailed);
        return;
    }
    writeFormatted(now, formatLogLine(now, text, f1, f2, f3, f4, f5));
}

void DiskLogFile::writeFormatted(const DiskLogPlatform::LocalTime& stamp, const std::string& line,
                                 std::uint32_t lostBefore) {
    lostLines_ += lostBefore;
    const std::uint32_t tick = platform_.tickMs();
    if (isDated(mode_) && periodOf(mode_, stamp) != filePeriod_) {
        open(name_, mode_);
    } else if (file_ == DiskLogPlatform::kNoFile) {
        // Modes that name no file have nothing to try again.
        if (mode_ >= kSingleFile && mode_ <= kHourlyFile &&
            tick - lastOpenTick_ >= kReopenPeriodMs) {
            open(name_, mode_);
        }
    } else if (tick - lastSpaceCheckTick_ >= kSpaceCheckPeriodMs) {
        checkFreeSpace();
    }
    if (file_ == DiskLogPlatform::kNoFile || paused_) return;

    if (lostLines_ > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Disk log: %lu lines lost",
                      static_cast<unsigned long>(lostLines_));
        // Stamped like the line it comes before: the loss ended then.
        if (!writeWhole(formatLogLine(stamp, text))) return;
        lostTrafficLines(static_cast<unsigned>(lostLines_));
        lostLines_ = 0;
    }
    writeWhole(line);
}

bool DiskLogFile::writeWhole(const std::string& line) {
    if (platform_.write(file_, line.data(), line.size())) return true;
    // A share gone from under the open file, or a full disk: the file is let go and opened
    // again like one that could not be opened, at most once a minute. Whatever part of the
    // line went out is ended when the file is opened again.
    platform_.debugOutput("vrax_disklog: Can't write log file: ");
    platform_.debugOutput(fileName_);
    platform_.debugOutput("\n");
    closeFile();
    lastOpenTick_ = platform_.tickMs();
    return false;
}

void DiskLogFile::removeExpiredFiles(const DiskLogPlatform::LocalTime& today) {
    if (keepDays_ <= 0) return;
    const std::string folder = folderOf(fileName_);
    const CalendarDate date{today.year, today.month, today.day};
    for (const std::string& file : platform_.listFiles(folder.c_str())) {
        if (isExpiredLogFile(file.c_str(), date, keepDays_)) {
            platform_.removeFile((folder + "\\" + file).c_str());
        }
    }
}

void DiskLogFile::checkFreeSpace() {
    std::uint64_t bytes = 0;
    // A volume that cannot be asked (a share that is slow to answer) keeps its last state.
    const bool known = platform_.freeBytes(folderOf(fileName_).c_str(), bytes);
    lastSpaceCheckTick_ = platform_.tickMs();
    if (!known) return;
    const bool low = bytes < kMinimumFreeBytes;
    if (low == paused_) return;
    paused_ = low;
    char line[80];
    std::snprintf(line, sizeof line, "Disk log %s: %llu MB free", low ? "paused" : "resumed",
                  static_cast<unsigned long long>(bytes >> 20));
    traceText(line);
    platform_.debugOutput(line);
    platform_.debugOutput("\n");
}

// ---------------------------------------------------------------------------------------------
// DiskLog

DiskLog::DiskLog(const char* name, int mode, DiskLogPlatform& platform)
    : DiskLog(name, mode, 0, platform) {}

DiskLog::DiskLog(const char* name, int mode, int keepDays, DiskLogPlatform& platform,
                 std::shared_ptr<LogWriter> writer)
    : platform_(platform),
      writer_(writer ? std::move(writer) : std::make_shared<LogWriter>()),
      file_(
          std::make_shared<DiskLogFile>(name, mode, keepDays, platform, DiskLogFile::DeferOpen{})) {
    writer_->postAlways([file = file_] { file->open(); });
}

DiskLog::~DiskLog() {
    // The file is closed on the writer's thread, after the lines before it; the last owner
    // of the file object is then that thread's job.
    writer_->postAlways([file = std::move(file_)] { file->close(); });
}

void DiskLog::writeLine(const char* text, const char* f1, const char* f2, const char* f3,
                        const char* f4, const char* f5) {
    DiskLogPlatform::LocalTime now;
    if (!platform_.localTime(now)) {
        platform_.debugOutput(kLocalTimeFailed);
        return;
    }
    std::string line;
    try {
        line = formatLogLine(now, text, f1, f2, f3, f4, f5);
    } catch (const std::bad_alloc&) {
        ++lostSinceLastLine_;
        ++lostTotal_;
        return;
    }
    const std::uint32_t lost = lostSinceLastLine_;
    const bool taken = writer_->post([file = file_, now, line = std::move(line), lost] {
        file->writeFormatted(now, line, lost);
    });
    if (taken) {
        lostSinceLastLine_ = 0;
    } else {
        ++lostSinceLastLine_;
        ++lostTotal_;
    }
}

bool DiskLog::drain(std::uint32_t timeoutMs) {
    return writer_->drain(timeoutMs);
}

}  // namespace korvel::log
