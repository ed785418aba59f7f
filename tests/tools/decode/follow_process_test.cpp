// korvel-decode --follow as an engineer runs it, beside a log being written (native build: the
// Windows builds check the same file polling in-process, in stream_test.cpp).

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Nothing here is timed: each wait only ends a test that would otherwise hang.
constexpr auto kGenerousLimit = std::chrono::seconds(30);

class FollowingDecoder {
  public:
    explicit FollowingDecoder(const fs::path& log) {
        int pipeEnds[2];
        EXPECT_EQ(pipe(pipeEnds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        const std::string path = log.string();
        char* argv[] = {const_cast<char*>(KORVEL_DECODE_PATH), const_cast<char*>("--follow"),
                        const_cast<char*>(path.c_str()), nullptr};
        EXPECT_EQ(posix_spawn(&pid_, KORVEL_DECODE_PATH, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        output_ = pipeEnds[0];
    }
    ~FollowingDecoder() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        close(output_);
    }

    // Reads what the decoder prints until `text` has come, or the limit.
    bool shows(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + kGenerousLimit;
        while (printed_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd ready{output_, POLLIN, 0};
            if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char buffer[4096];
            const ssize_t got = read(output_, buffer, sizeof buffer);
            if (got <= 0) return false;
            printed_.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }
    const std::string& printed() const { return printed_; }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string printed_;
};

void append(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

// Lines appended to a live log are explained as they come: a reply at once, a command that
// the log ends on once the log has been quiet for longer than its reply could take; then the
// file replaced under its name, then the next day's file.
TEST(DecodeFollow, ExplainsALiveLogAsItIsWritten) {
    const fs::path folder =
        fs::temp_directory_path() / ("korvel-follow-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    const fs::path today = folder / "20261207.log";
    append(today, "07/12/2026 09:05:02 Read[vt1] 75 20 00 01 80 00 00 16 \r\n");
    FollowingDecoder decoder(today);
    EXPECT_TRUE(decoder.shows("VT1 <- STATUS")) << decoder.printed();

    append(today, "07/12/2026 09:05:03 Read[vt1] 10 01 11 \r\n");
    EXPECT_TRUE(decoder.shows("VT1 <- ACK")) << decoder.printed();
    append(today, "07/12/2026 09:05:04 TX: 20 01 21 \r\n");
    EXPECT_TRUE(decoder.shows("VT1 -> PLAY")) << decoder.printed();

    append(folder / "replacement", "07/12/2026 09:05:05 Read[vt2] 10 01 11 \r\n");
    fs::rename(folder / "replacement", today);
    EXPECT_TRUE(decoder.shows("VT2 <- ACK")) << decoder.printed();

    append(folder / "20261208.log", "08/12/2026 00:00:00 Read[vt3] 10 01 11 \r\n");
    EXPECT_TRUE(decoder.shows("VT3 <- ACK")) << decoder.printed();
    fs::remove_all(folder);
}

}  // namespace
