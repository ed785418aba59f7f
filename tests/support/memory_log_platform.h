#pragma once

#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "log/disk_log_platform.h"

namespace korvel::testing {

// Files in memory, guarded for the journal's thread; a gate the test holds stops every
// write, as a share that stops answering does.
class MemoryLogPlatform final : public log::DiskLogPlatform {
  public:
    bool localTime(LocalTime&) override { return false; }
    std::uint32_t tickMs() override { return 0; }
    const char* environment(const char*) override { return nullptr; }
    FileHandle openExisting(const char* path) override { return openOrCreate(path); }
    FileHandle openOrCreate(const char* path) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (!folders.count(parentOf(path))) return kNoFile;
        files[path];
        open[++last] = path;
        return last;
    }
    void createDirectory(const char* path) override {
        std::lock_guard<std::mutex> lock(mutex);
        folders.insert(path);
    }
    void seekToEnd(FileHandle) override {}
    int lastByte(FileHandle file) override {
        std::lock_guard<std::mutex> lock(mutex);
        const std::string& text = files[open.at(file)];
        return text.empty() ? -1 : static_cast<unsigned char>(text.back());
    }
    bool write(FileHandle file, const char* bytes, std::size_t length) override {
        std::lock_guard<std::mutex> held(gate);
        std::lock_guard<std::mutex> lock(mutex);
        files[open.at(file)].append(bytes, length);
        return true;
    }
    void close(FileHandle file) override {
        std::lock_guard<std::mutex> lock(mutex);
        open.erase(file);
    }
    std::vector<std::string> listFiles(const char* folder) override {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> names;
        for (const auto& [path, text] : files) {
            if (parentOf(path) == folder) names.push_back(path.substr(std::strlen(folder) + 1));
        }
        return names;
    }
    void removeFile(const char* path) override {
        std::lock_guard<std::mutex> lock(mutex);
        files.erase(path);
    }
    bool freeBytes(const char*, std::uint64_t&) override { return false; }
    void debugOutput(const char*) override {}

    static std::string parentOf(const std::string& path) {
        const auto cut = path.rfind('\\');
        return cut == std::string::npos ? std::string() : path.substr(0, cut);
    }
    // Every file's text, in the order of their names.
    std::string allText() {
        std::lock_guard<std::mutex> lock(mutex);
        std::string text;
        for (const auto& [path, content] : files) text += content;
        return text;
    }
    std::map<std::string, std::string> snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return files;
    }

    std::mutex mutex;
    std::mutex gate;
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::map<FileHandle, std::string> open;
    FileHandle last = 0;
};

}  // namespace korvel::testing
