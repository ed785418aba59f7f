#include "sim/vtr/control_fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvel::sim::vtr {

namespace {
constexpr std::size_t kMaxLine = 1024;
}

ControlFifo::~ControlFifo() {
    if (fd_ >= 0) close(fd_);
    if (created_) unlink(path_.c_str());
}

bool ControlFifo::open(const std::string& path, std::string& error) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISFIFO(existing.st_mode)) {
            error = path + " exists and is not a FIFO";
            return false;
        }
    } else if (mkfifo(path.c_str(), 0600) == 0) {
        created_ = true;
    } else {
        error = "cannot make FIFO " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<std::string> ControlFifo::readLines() {
    std::vector<std::string> lines;
    char buffer[512];
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                if (!overlong_) lines.push_back(std::move(partial_));
                partial_.clear();
                overlong_ = false;
            } else if (partial_.size() < kMaxLine) {
                partial_ += c;
            } else {
                overlong_ = true;
            }
        }
    }
    return lines;
}

}  // namespace korvel::sim::vtr
