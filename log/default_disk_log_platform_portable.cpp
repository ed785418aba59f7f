#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "log/disk_log_platform.h"

namespace korvel::log {
namespace {

// The C library's files, with the log's '\' separators read as '/'.
class PosixDiskLogPlatform final : public DiskLogPlatform {
  public:
    bool localTime(LocalTime& now) override {
        const std::time_t seconds = std::time(nullptr);
        std::tm parts{};
        if (localtime_r(&seconds, &parts) == nullptr) return false;
        now = LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                        parts.tm_hour,        parts.tm_min,     parts.tm_sec};
        return true;
    }
    const char* environment(const char* name) override { return std::getenv(name); }
    FileHandle openExisting(const char* path) override {
        return handleOf(::open(localPath(path).c_str(), O_WRONLY | O_CLOEXEC));
    }
    FileHandle openOrCreate(const char* path) override {
        return handleOf(::open(localPath(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
    void createDirectory(const char* path) override { ::mkdir(localPath(path).c_str(), 0755); }
    void seekToEnd(FileHandle file) override { ::lseek(static_cast<int>(file), 0, SEEK_END); }
    void write(FileHandle file, const char* bytes, std::size_t length) override {
        while (length > 0) {
            const ssize_t written = ::write(static_cast<int>(file), bytes, length);
            if (written <= 0) return;  // write failures are not reported
            bytes += written;
            length -= static_cast<std::size_t>(written);
        }
    }
    void close(FileHandle file) override { ::close(static_cast<int>(file)); }
    void debugOutput(const char* text) override { std::fputs(text, stderr); }

  private:
    static FileHandle handleOf(int descriptor) { return descriptor < 0 ? kNoFile : descriptor; }
    static std::string localPath(const char* path) {
        std::string local(path);
        for (char& c : local) {
            if (c == '\\') c = '/';
        }
        return local;
    }
};

}  // namespace

DiskLogPlatform& defaultDiskLogPlatform() {
    static PosixDiskLogPlatform platform;
    return platform;
}

}  // namespace korvel::log
