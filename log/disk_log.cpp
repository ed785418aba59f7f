#include "log/disk_log.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "log/dated_log_files.h"
#include "log/trace.h"
#include "log/traffic_line.h"

namespace korvel::log {
namespace {

constexpr const char* kLocalTimeFailed = "localtime has failed\n";
constexpr const char* kDefaultLogFolder = "c:\\vraxlogs";

bool isSet(const char* value) {
    return value != nullptr && *value != '\0';
}

// The period a dated file covers: the day of the month or the hour; -1 for other modes.
int periodOf(int mode, const DiskLogPlatform::LocalTime& now) {
    if (mode == DiskLog::kDailyFile) return now.day;
    if (mode == DiskLog::kHourlyFile) return now.hour;
    return -1;
}

bool isDated(int mode) {
    return mode == DiskLog::kDailyFile || mode == DiskLog::kHourlyFile;
}

// The folder part of a full path: everything before its last separator.
std::string folderOf(const char* path) {
    const char* cut = std::strrchr(path, '\\');
    return cut == nullptr ? std::string() : std::string(path, static_cast<std::size_t>(cut - path));
}

}  // namespace

int driverLogMode(int logModeSetting) {
    return isDated(logModeSetting) ? logModeSetting : DiskLog::kSingleFile;
}

DiskLog::DiskLog(const char* name, int mode, DiskLogPlatform& platform)
    : DiskLog(name, mode, 0, platform) {}

DiskLog::DiskLog(const char* name, int mode, int keepDays, DiskLogPlatform& platform)
    : platform_(platform), keepDays_(keepDays) {
    open(name, mode);
}

DiskLog::~DiskLog() {
    closeFile();
}

void DiskLog::closeFile() {
    if (file_ != DiskLogPlatform::kNoFile) platform_.close(file_);
    file_ = DiskLogPlatform::kNoFile;
}

void DiskLog::open(const char* name, int mode) {
    closeFile();
    lastOpenTick_ = platform_.tickMs();
    if (name != name_) std::snprintf(name_, sizeof name_, "%s", name ? name : "");
    mode_ = mode;

    char folder[kFileNameSize];
    const char* root = platform_.environment("RZ_ROOT");
    const char* system = platform_.environment("RZ_SYSTEM");
    if (isSet(root) && isSet(system)) {
        std::snprintf(folder, sizeof folder, "%s\\%s\\logs", root, system);
    } else {
        std::snprintf(folder, sizeof folder, "%s", kDefaultLogFolder);
    }

    DiskLogPlatform::LocalTime now;
    if (!platform_.localTime(now)) {
        platform_.debugOutput(kLocalTimeFailed);
        return;
    }

    int length = -1;
    fileName_[0] = '\0';
    switch (mode) {
        case kSingleFile:
            length =
                std::snprintf(fileName_, sizeof fileName_, "%s\\%s\\%s.log", folder, name_, name_);
            break;
        case kDailyFile:
            length = std::snprintf(fileName_, sizeof fileName_, "%s\\%s\\%04d%02d%02d.log", folder,
                                   name_, now.year, now.month, now.day);
            break;
        case kHourlyFile:
            length = std::snprintf(fileName_, sizeof fileName_, "%s\\%s\\%04d%02d%02d-%02d.log",
                                   folder, name_, now.year, now.month, now.day, now.hour);
            break;
        default:
            break;  // no file name: the log stays without a file
    }
    filePeriod_ = periodOf(mode, now);

    // A path cut to fit would name some other file: better no file than the wrong one.
    const bool nameFits = length > 0 && length < static_cast<int>(sizeof fileName_);
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
        checkFreeSpace();
    } else {
        platform_.debugOutput("vrax_disklog: Can't open log file: ");
        platform_.debugOutput(fileName_);
        platform_.debugOutput("\n");
    }
}

void DiskLog::writeLine(const char* text, const char* f1, const char* f2, const char* f3,
                        const char* f4, const char* f5) {
    DiskLogPlatform::LocalTime now;
    if (!platform_.localTime(now)) {
        platform_.debugOutput(kLocalTimeFailed);
        return;
    }
    const std::uint32_t tick = platform_.tickMs();
    if (isDated(mode_) && periodOf(mode_, now) != filePeriod_) {
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

    formatLogStamp(lineBuffer_, sizeof lineBuffer_, now);
    bool written = platform_.write(file_, lineBuffer_, std::strlen(lineBuffer_));
    if (text != nullptr) written = written && platform_.write(file_, text, std::strlen(text));
    for (const char* field : {f1, f2, f3, f4, f5}) {
        if (field == nullptr) continue;
        written = written && platform_.write(file_, ", ", 2) &&
                  platform_.write(file_, field, std::strlen(field));
    }
    written = written && platform_.write(file_, "\r\n", 2);
    if (!written) {
        // A share gone from under the open file, or a full disk: the file is let go and
        // opened again like one that could not be opened, at most once a minute.
        platform_.debugOutput("vrax_disklog: Can't write log file: ");
        platform_.debugOutput(fileName_);
        platform_.debugOutput("\n");
        closeFile();
    }
}

void DiskLog::removeExpiredFiles(const DiskLogPlatform::LocalTime& today) {
    if (keepDays_ <= 0) return;
    const std::string folder = folderOf(fileName_);
    const CalendarDate date{today.year, today.month, today.day};
    for (const std::string& file : platform_.listFiles(folder.c_str())) {
        if (isExpiredLogFile(file.c_str(), date, keepDays_)) {
            platform_.removeFile((folder + "\\" + file).c_str());
        }
    }
}

void DiskLog::checkFreeSpace() {
    lastSpaceCheckTick_ = platform_.tickMs();
    std::uint64_t bytes = 0;
    // A volume that cannot be asked (a share that is slow to answer) keeps its last state.
    if (!platform_.freeBytes(folderOf(fileName_).c_str(), bytes)) return;
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

}  // namespace korvel::log
