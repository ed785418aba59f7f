#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvel::log {

// What the disk log needs from the system (called on the log's writer thread, and for
// the local time and environment on the thread that stamps a line): the local time, a millisecond
// tick, the environment, files and folders, the free space of a volume, and the debugger's output
// channel. The Windows calls in the program, a portable
// version elsewhere, a fake with a manual clock in tests.
class DiskLogPlatform {
  public:
    using FileHandle = std::intptr_t;
    static constexpr FileHandle kNoFile = -1;

    struct LocalTime {
        int year = 0;    // four digits
        int month = 0;   // 1 to 12
        int day = 0;     // day of the month, 1 to 31
        int hour = 0;    // 0 to 23
        int minute = 0;  // 0 to 59
        int second = 0;  // 0 to 59
    };

    virtual ~DiskLogPlatform() = default;

    // False when the local time cannot be had.
    virtual bool localTime(LocalTime& now) = 0;
    // A millisecond count that only moves forward, wrapping at 2^32; it paces retries.
    virtual std::uint32_t tickMs() = 0;
    // The variable's value, or null when it is not set.
    virtual const char* environment(const char* name) = 0;
    // Opens a file that exists, for writing, shared for reading; kNoFile when that fails.
    virtual FileHandle openExisting(const char* path) = 0;
    // Opens the file, making it when missing; an existing file keeps its contents.
    virtual FileHandle openOrCreate(const char* path) = 0;
    // Makes one folder; failures (it may exist already) are the caller's to ignore.
    virtual void createDirectory(const char* path) = 0;
    virtual void seekToEnd(FileHandle file) = 0;
    // The file's last byte, leaving the position at the end; -1 when the file is empty or
    // cannot be read.
    virtual int lastByte(FileHandle file) = 0;
    // False when not every byte was written.
    virtual bool write(FileHandle file, const char* bytes, std::size_t length) = 0;
    virtual void close(FileHandle file) = 0;
    // The names (without the folder) of the plain files in a folder; empty when it cannot
    // be read.
    virtual std::vector<std::string> listFiles(const char* folder) = 0;
    // Deletes a file; a failure (the file held open elsewhere) is the caller's to ignore.
    virtual void removeFile(const char* path) = 0;
    // The bytes this process may still write on the folder's volume; false when unknown.
    virtual bool freeBytes(const char* folder, std::uint64_t& bytes) = 0;
    virtual void debugOutput(const char* text) = 0;
};

// The platform of this build: the Windows API in the Windows program, the C library
// elsewhere (where the '\' of a path separates folders as '/' does).
DiskLogPlatform& defaultDiskLogPlatform();

}  // namespace korvel::log
