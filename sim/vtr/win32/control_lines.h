#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace korvel::sim::vtr {

// Where the Windows emulator's loop waits: control lines from standard input and the named
// pipe (each read on a thread of its own), bytes on a port (the serial library's reader
// threads) and a stop request all wake it.
class ControlInbox {
  public:
    void push(std::string line);
    void wake();
    void stop();

    // Waits until woken or `ms` milliseconds passed (-1: no limit). The lines that came.
    std::vector<std::string> wait(int ms);
    bool stopping();

    // Reads lines from standard input on a thread of its own, until it ends.
    void readStandardInput();
    // Serves the named pipe \\.\pipe\NAME on a thread of its own: each client that connects
    // may write lines, one after another. False, with `error` set, if the pipe cannot be made.
    bool servePipe(const std::string& path, std::string& error);

  private:
    std::mutex lock_;
    std::condition_variable woken_;
    bool news_ = false;
    bool stop_ = false;
    std::vector<std::string> lines_;
};

// The lines in `text`, with what is left of an unfinished line kept in `partial`; control
// characters and a line longer than 1024 characters are dropped.
std::vector<std::string> splitLines(std::string& partial, const char* text, std::size_t size);

}  // namespace korvel::sim::vtr
