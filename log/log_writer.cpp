#include "log/log_writer.h"

#include <chrono>
#include <thread>

namespace korvel::log {

// What the thread and its owner share; the thread holds it too, so a thread left inside a
// stuck write never touches freed memory.
struct LogWriter::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Job> jobs;
    std::size_t lines = 0;  // jobs in the queue that count against the limit
    std::size_t limit = 0;
    bool running = false;
    bool leaving = false;  // run nothing more, drop what is queued, end
    std::uint64_t posted = 0;
    std::uint64_t done = 0;
};

LogWriter::LogWriter(std::size_t queueLimit) : shared_(std::make_shared<Shared>()) {
    shared_->limit = queueLimit;
    try {
        std::thread(&LogWriter::run, shared_).detach();
        shared_->running = true;
    } catch (...) {
        // No thread: every line is refused and counted as lost, the driver runs on.
    }
}

LogWriter::~LogWriter() {
    drain(kFinishWaitMs);
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->leaving = true;
    shared_->changed.notify_all();
}

bool LogWriter::running() const {
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->running;
}

bool LogWriter::post(Job job) {
    std::lock_guard<std::mutex> hold(shared_->lock);
    if (!shared_->running || shared_->leaving || shared_->lines >= shared_->limit) return false;
    ++shared_->lines;
    // The count drops when the job starts, so a stuck job holds the limit, not one more.
    shared_->jobs.push_back([job = std::move(job), shared = shared_.get()] {
        {
            std::lock_guard<std::mutex> count(shared->lock);
            --shared->lines;
        }
        job();
    });
    ++shared_->posted;
    shared_->changed.notify_all();
    return true;
}

bool LogWriter::postAlways(Job job) {
    std::lock_guard<std::mutex> hold(shared_->lock);
    if (!shared_->running || shared_->leaving) return false;
    shared_->jobs.push_back(std::move(job));
    ++shared_->posted;
    shared_->changed.notify_all();
    return true;
}

bool LogWriter::drain(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> hold(shared_->lock);
    const std::uint64_t target = shared_->posted;
    return shared_->changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
        return shared_->done >= target || !shared_->running;
    }) && shared_->done >= target;
}

void LogWriter::run(std::shared_ptr<Shared> shared) {
    std::unique_lock<std::mutex> hold(shared->lock);
    for (;;) {
        shared->changed.wait(hold, [&] { return shared->leaving || !shared->jobs.empty(); });
        if (shared->leaving) break;
        Job job = std::move(shared->jobs.front());
        shared->jobs.pop_front();
        hold.unlock();
        job();
        job = nullptr;  // what the job held (a file to close) goes here, on this thread
        hold.lock();
        ++shared->done;
        shared->changed.notify_all();
    }
    // What was left goes on this thread too: a file object's last owner may be a job.
    std::deque<Job> left;
    left.swap(shared->jobs);
    shared->running = false;
    shared->changed.notify_all();
    hold.unlock();
    left.clear();
}

}  // namespace korvel::log
