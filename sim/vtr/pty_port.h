#pragma once

#include <termios.h>

#include <optional>
#include <string>

#include "sim/vtr/options.h"
#include "sim/vtr/posix_deck_port.h"

namespace korvel::sim::vtr {

// A deck's serial port: a pseudo-terminal in raw mode (no echo, no line editing, no CR/LF
// translation) with a symbolic link to its slave side, for a controller to open as a serial
// device. Closing removes the link, so the port vanishes.
//
// Every controller finds the line as the port was opened. A pty keeps its last holder's
// settings, all but the parity enable bit, which it drops: odd parity stays half set, and
// the C library refuses (EINVAL) a tcsetattr that changes nothing while asking for a parity
// the line does not show, which the next controller's odd parity then is. So when the last
// controller has gone (the master reports hang-up), the port's own settings go back on the
// line. While nobody holds the slave side the master keeps reporting hang-up, so it is not
// polled then; a watch on the slave side tells when a controller opens it again.
class PtyPort : public PosixDeckPort {
  public:
    explicit PtyPort(std::string linkPath) : linkPath_(std::move(linkPath)) {}
    // A port whose line has settings of its own, that a controller has to match.
    PtyPort(std::string linkPath, const LineSettings& line)
        : linkPath_(std::move(linkPath)), ownLine_(line) {}
    ~PtyPort() override { close(); }
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens a new pseudo-terminal and points the link at it. An existing link is replaced
    // (it is stale: left by an earlier run); any other file at that path is left alone and
    // the open fails. On failure `error` says why and nothing is left open.
    bool open(std::string& error) override;
    // Closes the pseudo-terminal and removes the link if it still points at it.
    void close() override;

    // Readable when a controller has opened the slave side; -1 while the port is closed.
    int watchFd() const override { return watch_; }
    // Reads the watch's news. True when a controller opened the slave side while none was
    // known to hold it (it may have closed it again since).
    bool takeWatchNews() override;
    // A controller may hold the slave side: the master is worth polling.
    bool held() const override { return held_; }
    // For a master that reports hang-up: the last controller has gone. The line settings go
    // back to those the port was opened with; false, with `error` set, if they could not.
    bool release(std::string& error);
    bool hangUp(std::string& error) override { return release(error); }

    // A pty carries bytes whatever the settings; a line with settings of its own garbles them
    // while the controller's differ.
    int read(std::uint8_t* buffer, int size) override;
    int write(const std::uint8_t* bytes, int length, std::string& error) override;

    bool isOpen() const override { return master_ >= 0; }
    int fd() const override { return master_; }
    std::string describe() const override { return linkPath_ + " " + slavePath_; }
    const std::string& name() const override { return linkPath_; }
    const std::string& linkPath() const { return linkPath_; }
    const std::string& slavePath() const { return slavePath_; }

  private:
    bool controllerOnOtherSettings() const;

    std::string linkPath_;
    std::optional<LineSettings> ownLine_;
    std::string slavePath_;
    int master_ = -1;
    int watch_ = -1;
    bool held_ = false;
    termios line_{};  // the settings every controller finds
};

}  // namespace korvel::sim::vtr
