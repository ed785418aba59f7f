#pragma once

// The programs a rehearsal starts, each in one job object that Windows ends with its last
// handle: when the rehearsal ends in any way (also killed), nothing it started runs on.
#include <windows.h>

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvel::tools::rehearse {

class ChildJob {
  public:
    ChildJob();
    ~ChildJob();  // ends every process still in the job
    ChildJob(const ChildJob&) = delete;
    ChildJob& operator=(const ChildJob&) = delete;

    // False where the job could not be made or took no process (Windows 7 refuses a job
    // inside the job that a scheduler may run us in): the children are then ended one by
    // one, and a killed rehearsal may leave them.
    bool usable() const { return job_ != nullptr && !refused_; }
    bool add(HANDLE process);

  private:
    HANDLE job_ = nullptr;
    bool refused_ = false;
};

// One program started with a command line and a working folder, in the job. With pipes, its
// standard input takes send() and every line of its standard output is kept, in order.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts it; false with Windows' reason in error. It is a process group of its own, so that
    // Ctrl+C in our console reaches only us: we end it in order.
    bool start(const std::string& commandLine, const std::string& folder, bool pipes, ChildJob& job,
               std::string& error);

    DWORD id() const { return id_; }
    bool running() const;
    // The exit code once it has ended within the time.
    std::optional<DWORD> waitForExit(DWORD timeoutMs) const;
    void terminate();

    void send(const std::string& line);
    // Lines printed so far, from index `from` on.
    std::vector<std::string> linesFrom(std::size_t from) const;
    std::size_t lineCount() const;

  private:
    void readOutput();

    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    HANDLE input_ = nullptr;
    HANDLE output_ = nullptr;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace korvel::tools::rehearse
