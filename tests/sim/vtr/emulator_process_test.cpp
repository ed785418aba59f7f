// Runs the real vtr-emulator and talks to it through its pty links and control FIFO.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

// Generous: the machine may be busy. A healthy emulator answers in well under a millisecond.
constexpr auto kPatience = std::chrono::seconds(5);

bool waitFor(const std::function<bool()>& condition) {
    const auto end = Clock::now() + kPatience;
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vtr-emulator-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    fs::path operator/(const char* name) const { return path_ / name; }

  private:
    fs::path path_;
};

class EmulatorProcess {
  public:
    explicit EmulatorProcess(const std::vector<std::string>& args) {
        std::vector<std::string> all = {VTR_EMULATOR_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        // Its standard output (help text, a log without --log) is not the test's to show.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~EmulatorProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The exit status, or -1 if it has not exited within the patience.
    int waitForExit() {
        int status = 0;
        const bool done = waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
        if (!done) return -1;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool stop() { return kill(pid_, SIGTERM) == 0; }
    bool running() const { return pid_ > 0 && !exited_; }

  private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

class Port {
  public:
    explicit Port(const fs::path& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    // Writes a command and reads until `expected` bytes came back or the patience ran out.
    Bytes transact(const Bytes& command, std::size_t expected) {
        if (write(fd_, command.data(), command.size()) != static_cast<ssize_t>(command.size()))
            return {};
        Bytes got;
        const auto end = Clock::now() + kPatience;
        while (got.size() < expected && Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            unsigned char buffer[64];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // True once the far end has gone: a read reports hang-up or end of file.
    bool hungUp() {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR)) return true;
        unsigned char byte;
        return read(fd_, &byte, 1) <= 0;
    }

  private:
    int fd_ = -1;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The emulator logs a write just after making it, so the log may trail the reply a little.
bool logHas(const fs::path& log, const std::string& text) {
    return waitFor([&] { return readFile(log).find(text) != std::string::npos; });
}

void sendControl(const fs::path& fifo, const std::string& line) {
    std::ofstream(fifo) << line << '\n';
}

const Bytes kStatusSense = {0x61, 0x20, 0x05, 0x86};
const Bytes kStoppedStatus = {0x75, 0x20, 0x00, 0x20, 0x00, 0x00, 0x00, 0xB5};

TEST(EmulatorProcess, AnswersOverItsLinksSwitchesFaultsAndCleansUpOnSigterm) {
    TempDir dir;
    const fs::path vt1 = dir / "com20", vt2 = dir / "com21", fifo = dir / "ctl", log = dir / "log";
    fs::create_symlink("/nonexistent/pts/99", vt1);  // left by an earlier run: replaced
    EmulatorProcess emulator({"--link", vt1.string(), "--link", vt2.string(), "--control",
                              fifo.string(), "--log", log.string(), "--command",
                              "deck 2 fault nak 1 01"});
    ASSERT_TRUE(waitFor([&] { return fs::exists(vt1) && fs::exists(vt2); }));

    {
        Port port(vt1);
        ASSERT_TRUE(port.isOpen());
        EXPECT_EQ(port.transact(kStatusSense, kStoppedStatus.size()), kStoppedStatus);
        // Stopped: the time is carried on from the control track (74 14).
        EXPECT_EQ(port.transact({0x61, 0x0C, 0x01, 0x6E}, 7),
                  (Bytes{0x74, 0x14, 0x00, 0x00, 0x00, 0x10, 0x98}));
    }
    {
        Port port(vt2);
        EXPECT_EQ(port.transact(kStatusSense, 4), (Bytes{0x11, 0x12, 0x01, 0x24}));
        EXPECT_EQ(port.transact(kStatusSense, kStoppedStatus.size()), kStoppedStatus);
    }
    EXPECT_TRUE(logHas(log, " 1 rx 61 20 05 86\n"));
    EXPECT_TRUE(logHas(log, " 1 tx 75 20 00 20 00 00 00 b5\n"));
    EXPECT_TRUE(logHas(log, " 2 tx 11 12 01 24\n"));

    // The port vanishes while a controller holds it, and comes back on clear.
    Port held(vt1);
    sendControl(fifo, "deck 1 fault closed");
    ASSERT_TRUE(waitFor([&] { return !fs::exists(fs::symlink_status(vt1)); }));
    EXPECT_TRUE(waitFor([&] { return held.hungUp(); }));
    sendControl(fifo, "deck 1 fault silent please");  // refused, and the emulator goes on
    sendControl(fifo, "deck 1 clear");
    ASSERT_TRUE(waitFor([&] { return fs::exists(vt1); }));
    {
        Port port(vt1);
        EXPECT_EQ(port.transact(kStatusSense, kStoppedStatus.size()), kStoppedStatus);
    }
    EXPECT_TRUE(logHas(log, " 0 ctlerr deck 1 fault silent please"));
    sendControl(fifo, "deck all show");
    EXPECT_TRUE(logHas(log, " 2 state mode=stop tc=10:00:00:00 "));

    ASSERT_TRUE(emulator.stop());
    EXPECT_EQ(emulator.waitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(vt1)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(vt2)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(fifo)));
    EXPECT_TRUE(logHas(log, " 0 stop\n"));
}

TEST(EmulatorProcess, SplitReplyArrivesWholeOverTwoWrites) {
    TempDir dir;
    const fs::path vt1 = dir / "com22", log = dir / "log";
    EmulatorProcess emulator(
        {"--link", vt1.string(), "--log", log.string(), "--command", "deck 1 fault split 20"});
    ASSERT_TRUE(waitFor([&] { return fs::exists(vt1); }));
    Port port(vt1);
    EXPECT_EQ(port.transact(kStatusSense, kStoppedStatus.size()), kStoppedStatus);
    EXPECT_TRUE(logHas(log, " 1 tx 75 20 00 20\n"));
    EXPECT_TRUE(logHas(log, " 1 tx 00 00 00 b5\n"));
}

// The line settings a controller finds when it opens the port (it changes nothing).
termios lineFoundAt(const fs::path& link) {
    termios tio{};
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        tcgetattr(fd, &tio);
        close(fd);
    }
    return tio;
}

bool sameLine(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && a.c_cc[VMIN] == b.c_cc[VMIN] &&
           a.c_cc[VTIME] == b.c_cc[VTIME] && cfgetospeed(&a) == cfgetospeed(&b);
}

// Each controller in turn asks for odd parity the way wine's serial driver does. A pty drops
// PARENB and keeps the rest, and the C library fails tcsetattr with EINVAL when the call
// changed nothing while the parity asked for is missing: so a controller that finds the line
// as the previous one left it is refused. The emulator must put the line back in between.
TEST(EmulatorProcess, EveryNewControllerFindsTheLineFreshAndMaySetOddParity) {
    TempDir dir;
    const fs::path vt1 = dir / "com24", log = dir / "log";
    EmulatorProcess emulator({"--link", vt1.string(), "--log", log.string()});
    ASSERT_TRUE(waitFor([&] { return fs::exists(vt1); }));
    const termios fresh = lineFoundAt(vt1);
    EXPECT_EQ(fresh.c_cflag & (PARENB | PARODD | CMSPAR), 0u);

    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(waitFor([&] { return sameLine(lineFoundAt(vt1), fresh); }))
            << "round " << round << ": the previous controller's settings are still on the line";
        const int fd = open(vt1.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        termios tio{};
        ASSERT_EQ(tcgetattr(fd, &tio), 0);
        tio.c_iflag |= IGNBRK | INPCK;
        tio.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        tio.c_lflag |= NOFLSH;
        tio.c_cflag |= CLOCAL | CREAD | PARENB | PARODD;
        tio.c_cc[VMIN] = 0;
        errno = 0;
        EXPECT_EQ(tcsetattr(fd, TCSANOW, &tio), 0) << "round " << round << ": " << strerror(errno);
        // The deck answers whatever the line settings say.
        ASSERT_EQ(write(fd, kStatusSense.data(), kStatusSense.size()), 4);
        Bytes got;
        waitFor([&] {
            unsigned char buffer[16];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
            return got.size() >= kStoppedStatus.size();
        });
        EXPECT_EQ(got, kStoppedStatus) << "round " << round;
        close(fd);
    }
}

TEST(EmulatorProcess, RefusesBadStartsWithoutTouchingFiles) {
    TempDir dir;
    const fs::path file = dir / "com23";
    std::ofstream(file) << "not a port";
    EmulatorProcess refused({"--link", file.string()});
    EXPECT_EQ(refused.waitForExit(), 1);
    EXPECT_EQ(readFile(file), "not a port");

    EmulatorProcess wrongOption({"--link", (dir / "x").string(), "--cue-time", "soon"});
    EXPECT_EQ(wrongOption.waitForExit(), 2);
    EmulatorProcess wrongCommand({"--link", (dir / "y").string(), "--command", "deck 2 clear"});
    EXPECT_EQ(wrongCommand.waitForExit(), 1);  // there is no deck 2
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "y")));
    EmulatorProcess help({"--help"});
    EXPECT_EQ(help.waitForExit(), 0);
}

}  // namespace

// A pty's controller side, standing in for the driver's PC at the far end of a serial cable;
// its slave side is the "device" the emulator opens with --port.
class FarEnd {
  public:
    FarEnd() {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0 && grantpt(fd_) == 0 && unlockpt(fd_) == 0) slave_ = ptsname(fd_);
    }
    ~FarEnd() {
        if (fd_ >= 0) close(fd_);
    }
    const std::string& device() const { return slave_; }
    Bytes transact(const Bytes& command, std::size_t expected) {
        if (write(fd_, command.data(), command.size()) != static_cast<ssize_t>(command.size()))
            return {};
        Bytes got;
        waitFor([&] {
            unsigned char buffer[64];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
            return got.size() >= expected;
        });
        return got;
    }
    termios line() const {
        termios tio{};
        tcgetattr(fd_, &tio);
        return tio;
    }

  private:
    int fd_ = -1;
    std::string slave_;
};

// An adapter missing at start, plugged in, pulled out and plugged in again: the emulator logs
// each change, tries again, and serves the deck on the driver's line settings whenever it can.
TEST(EmulatorProcess, ServesASerialDeviceThatComesAndGoes) {
    TempDir dir;
    const fs::path adapter = dir / "ttyADAPTER", log = dir / "log";
    EmulatorProcess emulator({"--port", adapter.string(), "--log", log.string()});
    ASSERT_TRUE(logHas(log, " 1 error cannot open " + adapter.string()));

    auto far = std::make_unique<FarEnd>();
    fs::create_symlink(far->device(), adapter);
    ASSERT_TRUE(logHas(log, " 1 open " + adapter.string() + " 38400,8,O,1\n"));
    const termios line = far->line();
    // A pty keeps no parity enable bit; odd parity shows in PARODD.
    EXPECT_EQ(line.c_cflag & (CSIZE | PARODD | CSTOPB), CS8 | PARODD);
    EXPECT_EQ(cfgetospeed(&line), B38400);
    EXPECT_EQ(far->transact(kStatusSense, kStoppedStatus.size()), kStoppedStatus);

    // Pulled out: the emulator notices, finds the device gone, and tries again.
    far.reset();
    const auto twice = [&](const std::string& text) {
        return waitFor([&] {
            const std::string all = readFile(log);
            return all.find(text) != all.rfind(text);
        });
    };
    EXPECT_TRUE(twice(" 1 error cannot open " + adapter.string()));
    far = std::make_unique<FarEnd>();
    fs::remove(adapter);
    fs::create_symlink(far->device(), adapter);
    // Raw only once the emulator has it open: a command sent before would be echoed.
    ASSERT_TRUE(twice(" 1 open " + adapter.string()));
    EXPECT_EQ(far->transact(kStatusSense, kStoppedStatus.size()), kStoppedStatus);

    ASSERT_TRUE(emulator.stop());
    EXPECT_EQ(emulator.waitForExit(), 0);
}
