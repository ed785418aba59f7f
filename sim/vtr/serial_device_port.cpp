#include "sim/vtr/serial_device_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "comms/posix/termios_speed.h"

namespace korvel::sim::vtr {

namespace {

// Raw bytes with the given framing; mark and space parity are stick parity (CMSPAR).
bool applyLine(int fd, const LineSettings& line, std::string& error) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = std::string("not a serial device: ") + std::strerror(errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CMSPAR);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[line.dataBits - 5];
    if (line.stopBits == 2) tio.c_cflag |= CSTOPB;
    switch (line.parity) {
        case 'O':
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 'E':
            tio.c_cflag |= PARENB;
            break;
        case 'M':
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 'S':
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = comms::termiosSpeed(line.speed);
    if (speed == B0) {
        error = "speed " + std::to_string(line.speed) + " is not one this system offers";
        return false;
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = std::string("cannot set the line: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

bool SerialDevicePort::open(std::string& error) {
    close();
    fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open " + path_ + ": " + std::strerror(errno);
        return false;
    }
    if (!applyLine(fd_, line_, error)) {
        error = path_ + ": " + error;
        close();
        return false;
    }
    tcflush(fd_, TCIOFLUSH);  // bytes from before we came are no commands to us
    return true;
}

void SerialDevicePort::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string SerialDevicePort::describe() const {
    return path_ + " " + std::to_string(line_.speed) + "," + std::to_string(line_.dataBits) + "," +
           line_.parity + "," + std::to_string(line_.stopBits);
}

bool SerialDevicePort::hangUp(std::string& error) {
    error = path_ + " hung up";
    return false;
}

}  // namespace korvel::sim::vtr
