#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "log/disk_log_platform.h"
#include "log/tick.h"

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
    std::uint32_t tickMs() override { return millisecondTick(); }
    const char* environment(const char* name) override { return std::getenv(name); }
    FileHandle openExisting(const char* path) override {
        return handleOf(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    FileHandle openOrCreate(const char* path) override {
        // OPEN_ALWAYS, not CREATE_ALWAYS: a log that exists is never emptied.
        return handleOf(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    void createDirectory(const char* path) override { CreateDirectoryA(path, nullptr); }
    void seekToEnd(FileHandle file) override {
        SetFilePointer(win32Handle(file), 0, nullptr, FILE_END);
    }
    int lastByte(FileHandle file) override {
        HANDLE handle = win32Handle(file);
        LARGE_INTEGER back{};
        back.QuadPart = -1;
        int last = -1;
        char byte = 0;
        DWORD read = 0;
        if (SetFilePointerEx(handle, back, nullptr, FILE_END) &&
            ReadFile(handle, &byte, 1, &read, nullptr) && read == 1) {
            last = static_cast<unsigned char>(byte);
        }
        SetFilePointer(handle, 0, nullptr, FILE_END);
        return last;
    }
    bool write(FileHandle file, const char* bytes, std::size_t length) override {
        DWORD written = 0;
        return WriteFile(win32Handle(file), bytes, static_cast<DWORD>(length), &written, nullptr) &&
               written == length;
    }
    void close(FileHandle file) override { CloseHandle(win32Handle(file)); }
    std::vector<std::string> listFiles(const char* folder) override {
        std::vector<std::string> names;
        const std::string pattern = std::string(folder) + "\\*";
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.emplace_back(found.cFileName);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }
    void removeFile(const char* path) override { DeleteFileA(path); }
    bool freeBytes(const char* folder, std::uint64_t& bytes) override {
        // A share's folder must end in a separator; a local one may.
        const std::string withSeparator = std::string(folder) + "\\";
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExA(withSeparator.c_str(), &available, nullptr, nullptr)) return false;
        bytes = available.QuadPart;
        return true;
    }
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
