#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace korvel::log {

// A thread that does the file work of the logs (opening, folders, free space, writes), so
// that the thread which hands it a line never waits on a disk or a share. Jobs run in the
// order they were posted. The queue is bounded: a line posted while it is full is refused,
// and the poster counts what it lost. Several logs may share one writer: each posts jobs
// on its own file object, which only this thread touches.
class LogWriter {
  public:
    // Lines the queue holds; jobs that open or close a file are always taken.
    static constexpr std::size_t kQueueLimit = 1024;
    // How long going away waits for the queue to empty before it leaves the rest.
    static constexpr std::uint32_t kFinishWaitMs = 1000;

    using Job = std::function<void()>;

    // The thread starts at once; without it (no thread could be made) jobs are refused.
    explicit LogWriter(std::size_t queueLimit = kQueueLimit);
    // Waits at most kFinishWaitMs for the queue to empty, then leaves: a thread still stuck
    // in a write keeps what it needs and ends when the write returns, running nothing more.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // False, with the job not taken, when the queue is full or the thread is not running.
    bool post(Job job);
    // Takes the job whatever the queue holds (a file's open or close); false without a
    // thread.
    bool postAlways(Job job);
    // Waits until every job posted so far has run, for at most timeoutMs; true when they
    // have.
    bool drain(std::uint32_t timeoutMs);
    bool running() const;

  private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
};

}  // namespace korvel::log
