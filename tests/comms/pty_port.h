#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvel::comms::testing {

// A folder of comN links for the POSIX back-end, removed with its links at the end.
class LinkFolder {
  public:
    LinkFolder();
    ~LinkFolder();
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The far end of a serial port: a pty whose slave the library opens through the link comN.
class PtyPort {
  public:
    PtyPort(const LinkFolder& folder, int portNumber);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Sends every byte (waits while the pty is full). False when the pty refused them.
    bool send(const std::vector<std::uint8_t>& bytes);
    // Sends what fits now; the number sent, 0 when the pty is full or gone.
    int trySend(const std::uint8_t* bytes, int length);
    // Exactly count bytes the port wrote, or fewer if none came within timeoutMs.
    std::vector<std::uint8_t> receive(std::size_t count, int timeoutMs = 2000);
    // Closes the pty under the open port, as a deck unplugged or an emulator that ends.
    void vanish();

    const std::string& linkPath() const { return link_; }

  private:
    int master_ = -1;
    std::string link_;
};

// Polls the condition every millisecond; false when it did not hold within timeoutMs.
template <typename Condition>
bool waitUntil(Condition condition, int timeoutMs = 3000);

}  // namespace korvel::comms::testing

#include <chrono>
#include <thread>

template <typename Condition>
bool korvel::comms::testing::waitUntil(Condition condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
