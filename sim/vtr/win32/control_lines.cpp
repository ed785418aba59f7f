#include "sim/vtr/win32/control_lines.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace korvel::sim::vtr {

namespace {
constexpr std::size_t kMaxLine = 1024;
}

std::vector<std::string> splitLines(std::string& partial, const char* text, std::size_t size) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '\n') {
            // "echo deck 1 show > \\.\pipe\decks" in a command window ends with a blank.
            while (!partial.empty() && (partial.back() == ' ' || partial.back() == '\t'))
                partial.pop_back();
            if (partial.size() <= kMaxLine) lines.push_back(partial);
            partial.clear();
        } else if (c != '\r' && partial.size() <= kMaxLine) {
            partial += c;  // one past the limit marks the line as too long
        }
    }
    return lines;
}

void ControlInbox::push(std::string line) {
    std::lock_guard<std::mutex> hold(lock_);
    lines_.push_back(std::move(line));
    news_ = true;
    woken_.notify_one();
}

void ControlInbox::wake() {
    std::lock_guard<std::mutex> hold(lock_);
    news_ = true;
    woken_.notify_one();
}

void ControlInbox::stop() {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    news_ = true;
    woken_.notify_one();
}

bool ControlInbox::stopping() {
    std::lock_guard<std::mutex> hold(lock_);
    return stop_;
}

std::vector<std::string> ControlInbox::wait(int ms) {
    std::unique_lock<std::mutex> hold(lock_);
    if (ms < 0)
        woken_.wait(hold, [&] { return news_; });
    else
        woken_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return news_; });
    news_ = false;
    std::vector<std::string> lines;
    lines.swap(lines_);
    return lines;
}

void ControlInbox::readStandardInput() {
    std::thread([this] {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        std::string partial;
        char buffer[512];
        DWORD n = 0;
        while (input != nullptr && input != INVALID_HANDLE_VALUE &&
               ReadFile(input, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            for (std::string& line : splitLines(partial, buffer, n)) push(std::move(line));
        }
    }).detach();
}

bool ControlInbox::servePipe(const std::string& path, std::string& error) {
    const HANDLE first =
        CreateNamedPipeA(path.c_str(), PIPE_ACCESS_INBOUND,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
    if (first == INVALID_HANDLE_VALUE) {
        error = "cannot make the named pipe " + path + " (error " + std::to_string(GetLastError()) +
                ")";
        return false;
    }
    std::thread([this, first] {
        const HANDLE pipe = first;
        for (;;) {
            if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
                Sleep(100);  // not spinning on a pipe that keeps failing
                continue;
            }
            std::string partial;
            char buffer[512];
            DWORD n = 0;
            while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0)
                for (std::string& line : splitLines(partial, buffer, n)) push(std::move(line));
            if (!partial.empty() && partial.size() <= kMaxLine) push(partial);
            DisconnectNamedPipe(pipe);
        }
    }).detach();
    return true;
}

}  // namespace korvel::sim::vtr
