#include "pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace korvel::comms::testing {

LinkFolder::LinkFolder() {
    char pattern[] = "/tmp/korvel-comms-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

LinkFolder::~LinkFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

PtyPort::PtyPort(const LinkFolder& folder, int portNumber) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        throw std::runtime_error("no pty");
    }
    link_ = folder.path() + "/com" + std::to_string(portNumber);
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(::ptsname(master_), link_);
}

PtyPort::~PtyPort() {
    vanish();
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
}

int PtyPort::trySend(const std::uint8_t* bytes, int length) {
    if (master_ < 0) return 0;
    const ssize_t n = ::write(master_, bytes, static_cast<std::size_t>(length));
    return n > 0 ? static_cast<int>(n) : 0;
}

bool PtyPort::send(const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd out{master_, POLLOUT, 0};
            if (::poll(&out, 1, 2000) <= 0) return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> PtyPort::receive(std::size_t count, int timeoutMs) {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd in{master_, POLLIN, 0};
        if (::poll(&in, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t chunk[256];
        const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
        if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void PtyPort::vanish() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

}  // namespace korvel::comms::testing
