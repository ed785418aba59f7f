#include <windows.h>

#include <cstdlib>

#include "log/disk_log_platform.h"

namespace korvel::log {
namespace {

class Win32DiskLogPlatform final : public DiskLogPlatform {
  public:
    bool localTime(LocalTime& now) override {
        SYSTEMTIME time;
        GetLocalTime(&time);
        now = LocalTime{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
        return true;
    }
    const char* environment(const char* name) override { return std::getenv(name); }
    FileHandle openExisting(const char* path) override {
        return handleOf(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    FileHandle openOrCreate(const char* path) override {
        // OPEN_ALWAYS, not CREATE_ALWAYS: a log that exists is never emptied.
        return handleOf(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    void createDirectory(const char* path) override { CreateDirectoryA(path, nullptr); }
    void seekToEnd(FileHandle file) override {
        SetFilePointer(win32Handle(file), 0, nullptr, FILE_END);
    }
    void write(FileHandle file, const char* bytes, std::size_t length) override {
        DWORD written = 0;
        WriteFile(win32Handle(file), bytes, static_cast<DWORD>(length), &written, nullptr);
    }
    void close(FileHandle file) override { CloseHandle(win32Handle(file)); }
    void debugOutput(const char* text) override { OutputDebugStringA(text); }

  private:
    static FileHandle handleOf(HANDLE handle) {
        return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
    }
    static HANDLE win32Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
};

}  // namespace

DiskLogPlatform& defaultDiskLogPlatform() {
    static Win32DiskLogPlatform platform;
    return platform;
}

}  // namespace korvel::log
