#pragma once

#include <string>
#include <vector>

namespace korvel::sim::vtr {

// The control channel: a named pipe that anyone may write lines to (echo "deck 1 clear" >
// PATH). It is held open for writing as well, so the last writer closing it is no end of file.
class ControlFifo {
  public:
    ControlFifo() = default;
    ~ControlFifo();
    ControlFifo(const ControlFifo&) = delete;
    ControlFifo& operator=(const ControlFifo&) = delete;

    // Makes the FIFO if the path is free; uses an existing FIFO; refuses any other file.
    bool open(const std::string& path, std::string& error);
    int fd() const { return fd_; }

    // The complete lines that can be read now, without their line ends. A line longer than
    // 1024 characters is dropped whole.
    std::vector<std::string> readLines();

  private:
    std::string path_;
    bool created_ = false;
    int fd_ = -1;
    std::string partial_;
    bool overlong_ = false;
};

}  // namespace korvel::sim::vtr
