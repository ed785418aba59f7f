#include "sim/vtr/serial_device_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvel::sim::vtr {

namespace {

speed_t speedCode(int speed) {
    switch (speed) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

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
    const speed_t speed = speedCode(line.speed);
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
