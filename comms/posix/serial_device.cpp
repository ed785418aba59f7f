// The POSIX back-end: termios line settings, a reader thread that waits in poll(), and
// notifications posted to a NotifyQueue.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>

#include "comms/backend.h"
#include "comms/notify_queue.h"
#include "comms/posix/device.h"
#include "comms/posix/termios_speed.h"
#include "log/trace.h"

namespace korvel::comms {

namespace {

// A silent line is looked at this often for the end of reading, in case a wake is missed.
constexpr int kIdlePollMs = 100;
// After a failed read (the other end has gone) the thread rests this long, not spinning.
constexpr int kErrorPauseMs = 20;
constexpr int kStartWaitMs = 60000;

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Waits until the wake pipe is written or timeoutMs pass.
void restUnlessWoken(const Device& device, int timeoutMs) {
    pollfd wake{device.wakeRead, POLLIN, 0};
    ::poll(&wake, 1, timeoutMs);
}

// The bytes that arrived with the first ones of a read, taken at once, so a reply that came in
// one burst becomes one delivery and one notification instead of one per byte.
int takeWaiting(int fd, std::uint8_t* into, int room) {
    int waiting = 0;
    if (room <= 0 || ::ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) return 0;
    const ssize_t n = ::read(fd, into, static_cast<std::size_t>(std::min(waiting, room)));
    return n > 0 ? static_cast<int>(n) : 0;
}

// A terminal that has been hung up (its pseudo-terminal master closed, its device removed)
// refuses even to report its settings.
bool hungUp(const Device& device) {
    termios t{};
    return ::tcgetattr(device.fd, &t) != 0;
}

void readerLoop(Device* device, PortRecord* record, int portIndex, std::uint32_t generation,
                std::promise<void>* started) {
    std::uint8_t buffer[kReaderBufferSize];
    started->set_value();  // the opener may go on; started is not touched again
    while (readerWanted(portIndex, *record, generation)) {
        const int size = readerReadSize(portIndex);
        pollfd fds[2] = {{device->fd, static_cast<short>(size > 0 ? POLLIN : 0), 0},
                         {device->wakeRead, POLLIN, 0}};
        const int ready = ::poll(fds, 2, kIdlePollMs);
        if (ready < 0) {
            if (errno != EINTR) restUnlessWoken(*device, kErrorPauseMs);
            continue;
        }
        if (ready == 0 || fds[1].revents != 0) continue;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(device->fd, buffer, static_cast<std::size_t>(size));
            if (n > 0) {
                const int taken = static_cast<int>(n);
                if (!deliverBytes(*record, generation, buffer,
                                  taken + takeWaiting(device->fd, buffer + taken,
                                                      kReaderBufferSize - taken))) {
                    return;
                }
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        } else if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
            continue;
        }
        // The line failed. A device that has gone (a pseudo-terminal whose other side
        // closed, an adapter pulled) is reported and the thread ends; after an I/O error the
        // driver drops what it holds and goes on, without spinning.
        if (hungUp(*device)) {
            reportLost(*record, generation);
            return;
        }
        ::tcflush(device->fd, TCIFLUSH);
        restUnlessWoken(*device, kErrorPauseMs);
    }
}

}  // namespace

Device::~Device() {
    if (reader.joinable()) backend::stopReader(*this);
    closeFd(fd);  // also drops the lock that marks the port as taken
    closeFd(wakeRead);
    closeFd(wakeWrite);
}

void DeviceDeleter::operator()(Device* device) const {
    delete device;
}

std::string devicePath(int portNumber) {
    char name[64];
    const char* dir = std::getenv("KORVEL_SERIAL_DIR");
    if (dir != nullptr && *dir != '\0') {
        std::snprintf(name, sizeof name, "/com%d", portNumber);
        return std::string(dir) + name;
    }
    std::snprintf(name, sizeof name, "/dev/ttyS%d", portNumber - 1);
    return name;
}

namespace backend {

OpenResult openDevice(int portNumber, DevicePtr& device) {
    const std::string path = devicePath(portNumber);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::snprintf(commsState().lastStatus, sizeof commsState().lastStatus, "open(%s) returns %d",
                  path.c_str(), fd);
    if (fd < 0) return errno == EBUSY ? OpenResult::alreadyOpen : OpenResult::notFound;
    // Another process that holds the port holds this lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return taken ? OpenResult::alreadyOpen : OpenResult::notFound;
    }
    ::ioctl(fd, TIOCEXCL);  // refuses other openers that do not take the lock
    device.reset(new Device);
    device->fd = fd;
    return OpenResult::opened;
}

bool applyLineSettings(Device& device, int speed, int dataBits, int stopBits, int parity) {
    termios t{};
    if (::tcgetattr(device.fd, &t) != 0) return false;
    // Raw bytes: 9-pin frames are binary, with no line editing, echo or translation.
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t code = termiosSpeed(speed);
    if (code == B0) {
        log::trace("Com port speed %d not supported", speed);
        return false;
    }
    ::cfsetispeed(&t, code);
    ::cfsetospeed(&t, code);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (dataBits) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (parity) {
        case kParityNone:
            break;
        case kParityOdd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case kParityEven:
            t.c_cflag |= PARENB;
            break;
        case kParityMark:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case kParitySpace:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    switch (stopBits) {
        case kOneStopBit:
            t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
            break;
        case kTwoStopBits:
            t.c_cflag |= CSTOPB;
            break;
        // A terminal gives one and a half stop bits only with five data bits, as CSTOPB.
        case kOneAndHalfStopBits:
            if (dataBits != 5) return false;
            t.c_cflag |= CSTOPB;
            break;
        default:
            return false;
    }
    if (::tcsetattr(device.fd, TCSANOW, &t) == 0) return true;
    // A pseudo-terminal has no parity: it drops PARENB, which the C library then reports as
    // EINVAL although everything else was applied. Whether it drops it depends on what the
    // previous holder left, so accept a line whose settings hold but for the parity.
    termios applied{};
    if (errno != EINVAL || ::tcgetattr(device.fd, &applied) != 0) return false;
    const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    return (applied.c_cflag & ~parityBits) == (t.c_cflag & ~parityBits) &&
           ::cfgetospeed(&applied) == code;
}

// Reads are ended by poll() and the wake pipe, not by the device; the time-outs are kept in
// the record for what they tell.
bool applyTimeouts(Device&, const Timeouts&) {
    return true;
}

bool startReader(Device& device, PortRecord& record, int portIndex) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    device.wakeRead = wake[0];
    device.wakeWrite = wake[1];
    std::promise<void> started;
    auto running = started.get_future();
    try {
        device.reader = std::thread(readerLoop, &device, &record, portIndex,
                                    record.generation.load(), &started);
    } catch (const std::system_error&) {
        return false;
    }
    if (running.wait_for(std::chrono::milliseconds(kStartWaitMs)) != std::future_status::ready) {
        log::trace("Comms library very serious internal error. Contact VRAX support");
    }
    return true;
}

bool isReaderThread(const Device& device) {
    return device.reader.get_id() == std::this_thread::get_id();
}

// The reader never blocks in a device call (a non-blocking descriptor and poll()), so the
// wake ends it within one pass and the join is bounded.
bool stopReader(Device& device) {
    if (!device.reader.joinable()) return true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(device.wakeWrite, &wake, 1);
    device.reader.join();
    return true;
}

void abandon(Device* device) {
    // The reader always ends; only a writer still inside its write (bounded by the write
    // time-out) can be left, and it ends within that bound.
    ++commsState().abandonedReaders;
    static_cast<void>(device);
}

bool abandonedReaderEnded(Device&) {
    return true;
}

void freeAbandoned(Device* device) {
    --commsState().abandonedReaders;
    delete device;
}

int write(Device& device, const std::uint8_t* bytes, int length, bool& gone) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    int written = 0;
    while (written < length) {
        const ssize_t n =
            ::write(device.fd, bytes + written, static_cast<std::size_t>(length - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            gone = hungUp(device);
            return -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;  // the write time-out: report what went out
        pollfd out{device.fd, POLLOUT, 0};
        ::poll(&out, 1, static_cast<int>(left.count()));
    }
    return written;
}

bool purge(Device& device, int flags) {
    if ((flags & ~(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear)) != 0) {
        return false;
    }
    const bool tx = (flags & kPurgeTxClear) != 0;
    const bool rx = (flags & kPurgeRxClear) != 0;
    if (!tx && !rx) return true;  // nothing waits in a terminal to abort
    return ::tcflush(device.fd, tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH)) == 0;
}

bool clearError(Device& device, CommStatus* status, ErrorWord* errors, bool& gone) {
    *errors = 0;  // a terminal keeps no error word; framing and parity errors drop bytes
    *status = CommStatus{};
    int unsent = 0;
    if (::ioctl(device.fd, TIOCOUTQ, &unsent) != 0) {
        gone = hungUp(device);
        return false;
    }
    if (unsent > 0) status->cbOutQue = static_cast<std::uint32_t>(unsent);
    return true;
}

void postNotification(NotifyWindow window, SerialPort* owner) {
    window->post(owner);
}

bool isLiveWindow(NotifyWindow window) {
    return window != nullptr;
}

}  // namespace backend

}  // namespace korvel::comms
