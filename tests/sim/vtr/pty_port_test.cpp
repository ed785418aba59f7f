#include "sim/vtr/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "sim/vtr/control_fifo.h"

namespace korvel::sim::vtr {
namespace {

namespace fs = std::filesystem;

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "vtr-pty-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const char* name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Reads until `count` bytes came or nothing more arrives for `quietMs`.
std::vector<unsigned char> readBytes(int fd, std::size_t count, int quietMs = 1000) {
    std::vector<unsigned char> got;
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0) break;
        unsigned char buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

TEST(PtyPort, EveryByteValuePassesUnchangedBothWaysWithoutEcho) {
    ScratchDir dir;
    const fs::path link = dir / "com20";
    fs::create_symlink("/nonexistent/stale", link);
    PtyPort port(link.string());
    std::string error;
    ASSERT_TRUE(port.open(error)) << error;
    EXPECT_EQ(fs::read_symlink(link), port.slavePath());

    // The controller's end, opened the way a serial library opens a device; it leaves the
    // line settings as it found them.
    const int controller = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(controller, 0);
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);  // CR, LF, ^C, XON...

    ASSERT_EQ(write(port.fd(), all.data(), all.size()), 256);
    EXPECT_EQ(readBytes(controller, 256), all);
    EXPECT_TRUE(readBytes(port.fd(), 1, 100).empty());  // the deck's replies are not echoed
    ASSERT_EQ(write(controller, all.data(), all.size()), 256);
    EXPECT_EQ(readBytes(port.fd(), 256), all);

    close(controller);

    port.close();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    ASSERT_TRUE(port.open(error)) << error;  // opens again behind the same link
    EXPECT_TRUE(fs::exists(link));
}

// Odd parity asked for as wine's serial driver does it; tcsetattr's result.
int askOddParity(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return -1;
    cfmakeraw(&tio);
    tio.c_iflag |= IGNBRK | INPCK;
    tio.c_cflag |= CLOCAL | CREAD | PARENB | PARODD;
    tio.c_cc[VMIN] = 0;
    return tcsetattr(fd, TCSANOW, &tio);
}

termios lineOf(int fd) {
    termios tio{};
    tcgetattr(fd, &tio);
    return tio;
}

bool sameLine(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

short masterEvents(const PtyPort& port) {
    pollfd p{port.fd(), POLLIN, 0};
    return poll(&p, 1, 0) > 0 ? p.revents : 0;
}

bool watchReadable(const PtyPort& port, int timeoutMs = 1000) {
    pollfd p{port.watchFd(), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

TEST(PtyPort, TheLastControllerGoingPutsBackTheLineTheFirstOneFound) {
    ScratchDir dir;
    const fs::path link = dir / "com24";
    PtyPort port(link.string());
    std::string error;
    ASSERT_TRUE(port.open(error)) << error;
    EXPECT_FALSE(port.held());
    EXPECT_FALSE(watchReadable(port, 0));
    EXPECT_FALSE(port.takeWatchNews());

    // The first controller: the watch tells, the master is quiet while it holds the port.
    const int first = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(first, 0);
    const termios fresh = lineOf(first);
    ASSERT_TRUE(watchReadable(port));
    EXPECT_TRUE(port.takeWatchNews());
    EXPECT_TRUE(port.held());
    EXPECT_EQ(masterEvents(port) & POLLHUP, 0);
    EXPECT_EQ(askOddParity(first), 0) << strerror(errno);

    // A second holder: no news, and the first one going leaves its settings alone.
    const int second = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(second, 0);
    ASSERT_TRUE(watchReadable(port));
    EXPECT_FALSE(port.takeWatchNews());
    close(first);
    EXPECT_EQ(masterEvents(port) & POLLHUP, 0);
    EXPECT_NE(lineOf(second).c_cflag & PARODD, 0u);
    close(second);
    EXPECT_NE(masterEvents(port) & POLLHUP, 0);  // nobody holds it now

    // Left like this, the next controller's odd parity is refused: the pty shows no parity
    // enable bit, and the call changes nothing.
    int next = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(next, 0);
    EXPECT_FALSE(sameLine(lineOf(next), fresh));
    EXPECT_EQ(askOddParity(next), -1);
    EXPECT_EQ(errno, EINVAL);
    close(next);

    ASSERT_TRUE(port.release(error)) << error;
    EXPECT_FALSE(port.held());
    next = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(next, 0);
    EXPECT_TRUE(sameLine(lineOf(next), fresh));
    EXPECT_EQ(askOddParity(next), 0) << strerror(errno);
    EXPECT_TRUE(port.takeWatchNews());  // the two opens since the release
    close(next);
    port.close();
    EXPECT_EQ(port.watchFd(), -1);
    EXPECT_FALSE(port.held());
}

TEST(PtyPort, AFileThatIsNotALinkIsLeftAlone) {
    ScratchDir dir;
    const fs::path file = dir / "com21";
    std::ofstream(file) << "keep";
    PtyPort port(file.string());
    std::string error;
    EXPECT_FALSE(port.open(error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));

    PtyPort nowhere((dir / "missing" / "com22").string());
    EXPECT_FALSE(nowhere.open(error));
    EXPECT_FALSE(nowhere.isOpen());
}

TEST(ControlFifo, LinesArriveWholeAcrossWritesAndOverlongOnesAreDropped) {
    ScratchDir dir;
    const fs::path path = dir / "ctl";
    {
        ControlFifo fifo;
        std::string error;
        ASSERT_TRUE(fifo.open(path.string(), error)) << error;
        const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(writer, 0);
        const std::string first = "deck 1 fault sil";
        const std::string rest = "ent\n" + std::string(2000, 'x') + "\ndeck 1 clear\npartial";
        ASSERT_EQ(write(writer, first.data(), first.size()), static_cast<ssize_t>(first.size()));
        EXPECT_TRUE(fifo.readLines().empty());
        ASSERT_EQ(write(writer, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
        close(writer);  // the last writer going is no end of the channel
        EXPECT_EQ(fifo.readLines(),
                  (std::vector<std::string>{"deck 1 fault silent", "deck 1 clear"}));
        EXPECT_TRUE(fifo.readLines().empty());
    }
    EXPECT_FALSE(fs::exists(path));  // made here, so removed here

    std::ofstream(path) << "plain file";
    ControlFifo refused;
    std::string error;
    EXPECT_FALSE(refused.open(path.string(), error));
    EXPECT_TRUE(fs::exists(path));
}

}  // namespace
}  // namespace korvel::sim::vtr
