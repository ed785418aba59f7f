#pragma once

#include <string>

namespace korvel::sim::vtr {

// A deck's serial port: a pseudo-terminal in raw mode (no echo, no line editing, no CR/LF
// translation) with a symbolic link to its slave side, for a controller to open as a serial
// device. The emulator keeps the slave side open too, so that a controller closing the port
// does not hang up the master. Closing removes the link, so the port vanishes.
class PtyPort {
  public:
    explicit PtyPort(std::string linkPath) : linkPath_(std::move(linkPath)) {}
    ~PtyPort() { close(); }
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens a new pseudo-terminal and points the link at it. An existing link is replaced
    // (it is stale: left by an earlier run); any other file at that path is left alone and
    // the open fails. On failure `error` says why and nothing is left open.
    bool open(std::string& error);
    // Closes the pseudo-terminal and removes the link if it still points at it.
    void close();

    bool isOpen() const { return master_ >= 0; }
    int fd() const { return master_; }
    const std::string& linkPath() const { return linkPath_; }
    const std::string& slavePath() const { return slavePath_; }

  private:
    std::string linkPath_;
    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1;
};

}  // namespace korvel::sim::vtr
