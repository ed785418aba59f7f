#include "sim/vtr/pty_port.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "comms/posix/termios_speed.h"

namespace korvel::sim::vtr {

namespace {

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A byte sent at one speed or parity and read at another comes out as another byte.
std::uint8_t misread(std::uint8_t byte) {
    return static_cast<std::uint8_t>(byte ^ 0xA5);
}

bool makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Points `link` at `target`: a fresh link beside it is renamed over it, so a reader never
// sees the path missing or half made.
bool placeLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = "refusing to replace " + link + ": it exists and is not a symbolic link";
        return false;
    }
    const std::string temporary = link + ".vtr-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = systemError("cannot create link " + temporary);
        return false;
    }
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        error = systemError("cannot create link " + link);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string linkTarget(const std::string& link) {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    return n < 0 ? std::string() : std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace

bool PtyPort::open(std::string& error) {
    close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) {
        error = systemError("posix_openpt");
        return false;
    }
    const char* name = nullptr;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || (name = ptsname(master_)) == nullptr) {
        error = systemError("cannot set up the pseudo-terminal");
        close();
        return false;
    }
    slavePath_ = name;
    // Line settings made through the master are the slave side's.
    if (!makeRaw(master_) || tcgetattr(master_, &line_) != 0) {
        error = systemError("cannot put " + slavePath_ + " in raw mode");
        close();
        return false;
    }
    if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0) {
        error = systemError("fcntl");
        close();
        return false;
    }
    // Watched before the link exists, so no controller comes unnoticed.
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || inotify_add_watch(watch_, slavePath_.c_str(), IN_OPEN) < 0) {
        error = systemError("cannot watch " + slavePath_);
        close();
        return false;
    }
    if (!placeLink(linkPath_, slavePath_, error)) {
        close();
        return false;
    }
    return true;
}

// The settings a controller sets on a pty's slave side show through the master: speed, odd
// parity and stop bits (the pty drops the parity enable bit and the data bits).
bool PtyPort::controllerOnOtherSettings() const {
    if (!ownLine_ || master_ < 0) return false;
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) return false;
    const bool odd = ownLine_->parity == 'O' || ownLine_->parity == 'M';
    return cfgetospeed(&tio) != comms::termiosSpeed(ownLine_->speed) ||
           ((tio.c_cflag & PARODD) != 0) != odd ||
           ((tio.c_cflag & CSTOPB) != 0) != (ownLine_->stopBits == 2);
}

int PtyPort::read(std::uint8_t* buffer, int size) {
    const int n = PosixDeckPort::read(buffer, size);
    if (n > 0 && controllerOnOtherSettings())
        for (int i = 0; i < n; ++i) buffer[i] = misread(buffer[i]);
    return n;
}

int PtyPort::write(const std::uint8_t* bytes, int length, std::string& error) {
    if (!controllerOnOtherSettings()) return PosixDeckPort::write(bytes, length, error);
    std::vector<std::uint8_t> misreadBytes(bytes, bytes + length);
    for (std::uint8_t& b : misreadBytes) b = misread(b);
    return PosixDeckPort::write(misreadBytes.data(), length, error);
}

bool PtyPort::takeWatchNews() {
    if (watch_ < 0) return false;
    bool opened = false;
    alignas(inotify_event) char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n <= 0) break;  // drained
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            // A lost event may have been an open: the master will tell if nobody is there.
            if (event->mask & (IN_OPEN | IN_Q_OVERFLOW)) opened = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    const bool news = opened && !held_;
    held_ = held_ || opened;
    return news;
}

bool PtyPort::release(std::string& error) {
    held_ = false;
    if (master_ < 0) return true;
    if (tcsetattr(master_, TCSANOW, &line_) == 0) return true;
    error = systemError("cannot restore the line settings of " + slavePath_);
    return false;
}

void PtyPort::close() {
    if (watch_ >= 0) ::close(watch_);
    watch_ = -1;
    held_ = false;
    if (master_ < 0) return;
    if (!slavePath_.empty() && linkTarget(linkPath_) == slavePath_) unlink(linkPath_.c_str());
    ::close(master_);
    master_ = -1;
    slavePath_.clear();
}

}  // namespace korvel::sim::vtr
