#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "log/disk_log_platform.h"
#include "log/tick.h"

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
    std::uint32_t tickMs() override { return millisecondTick(); }
    const char* environment(const char* name) override { return std::getenv(name); }
    FileHandle openExisting(const char* path) override {
        return handleOf(::open(localPath(path).c_str(), O_RDWR | O_CLOEXEC));
    }
    FileHandle openOrCreate(const char* path) override {
        return handleOf(::open(localPath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    }
    void createDirectory(const char* path) override { ::mkdir(localPath(path).c_str(), 0755); }
    void seekToEnd(FileHandle file) override { ::lseek(static_cast<int>(file), 0, SEEK_END); }
    int lastByte(FileHandle file) override {
        const int descriptor = static_cast<int>(file);
        const off_t size = ::lseek(descriptor, 0, SEEK_END);
        unsigned char byte = 0;
        if (size <= 0 || ::pread(descriptor, &byte, 1, size - 1) != 1) return -1;
        return byte;
    }
    bool write(FileHandle file, const char* bytes, std::size_t length) override {
        while (length > 0) {
            const ssize_t written = ::write(static_cast<int>(file), bytes, length);
            if (written <= 0) return false;
            bytes += written;
            length -= static_cast<std::size_t>(written);
        }
        return true;
    }
    void close(FileHandle file) override { ::close(static_cast<int>(file)); }
    std::vector<std::string> listFiles(const char* folder) override {
        std::vector<std::string> names;
        const std::string local = localPath(folder);
        DIR* directory = ::opendir(local.c_str());
        if (directory == nullptr) return names;
        while (const dirent* entry = ::readdir(directory)) {
            struct stat info {};
            const std::string path = local + "/" + entry->d_name;
            if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(directory);
        return names;
    }
    void removeFile(const char* path) override { ::unlink(localPath(path).c_str()); }
    bool freeBytes(const char* folder, std::uint64_t& bytes) override {
        struct statvfs volume {};
        if (::statvfs(localPath(folder).c_str(), &volume) != 0) return false;
        bytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
        return true;
    }
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
