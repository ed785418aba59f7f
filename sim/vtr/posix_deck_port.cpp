#include "sim/vtr/posix_deck_port.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvel::sim::vtr {

int PosixDeckPort::read(std::uint8_t* buffer, int size) {
    const ssize_t n = ::read(fd(), buffer, static_cast<std::size_t>(size));
    return n < 0 ? -1 : static_cast<int>(n);
}

int PosixDeckPort::write(const std::uint8_t* bytes, int length, std::string& error) {
    const ssize_t n = ::write(fd(), bytes, static_cast<std::size_t>(length));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;  // full: a short write
    if (n < 0) error = std::strerror(errno);
    return n < 0 ? -1 : static_cast<int>(n);
}

}  // namespace korvel::sim::vtr
