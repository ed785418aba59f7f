#include "comms/port_writer.h"

#include <chrono>
#include <thread>

namespace korvel::comms {

namespace {

std::atomic<int> gLiveWriterThreads{0};

}  // namespace

bool StuckWrites::roomForAnother() {
    std::lock_guard<std::mutex> hold(lock_);
    std::erase_if(entries_, [](const std::unique_ptr<Entry>& entry) { return entry->finished(); });
    return entries_.size() < kLimit;
}

bool StuckWrites::keep(std::unique_ptr<Entry>& entry) {
    std::lock_guard<std::mutex> hold(lock_);
    if (entries_.size() >= kLimit) return false;
    entries_.push_back(std::move(entry));
    return true;
}

std::size_t StuckWrites::count() {
    std::lock_guard<std::mutex> hold(lock_);
    return entries_.size();
}

StuckWrites& stuckWrites() {
    static StuckWrites list;
    return list;
}

struct PortWriter::Shared {
    WriteFn write;
    LostFn lost;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<std::uint8_t>> frames;
    bool stopping = false;
    bool ended = false;
    std::atomic<bool> gone{false};
};

PortWriter::PortWriter(WriteFn write, LostFn lost) : shared_(std::make_shared<Shared>()) {
    shared_->write = std::move(write);
    shared_->lost = std::move(lost);
    try {
        std::thread(&PortWriter::run, shared_).detach();
    } catch (...) {
        shared_->ended = true;  // no thread: every frame is refused and the port counts as gone
    }
}

PortWriter::~PortWriter() {
    if (!stopped_) stop(0);
}

bool PortWriter::ended() const {
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->ended;
}

int PortWriter::liveThreads() {
    return gLiveWriterThreads.load();
}

int PortWriter::post(const std::uint8_t* bytes, int length) {
    std::lock_guard<std::mutex> hold(shared_->lock);
    if (shared_->ended || shared_->stopping || shared_->gone ||
        shared_->frames.size() >= kQueueFrames) {
        return -1;
    }
    try {
        shared_->frames.emplace_back(bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    shared_->changed.notify_all();
    return length;
}

bool PortWriter::stop(std::uint32_t timeoutMs) {
    stopped_ = true;
    std::unique_lock<std::mutex> hold(shared_->lock);
    shared_->stopping = true;
    shared_->frames.clear();
    shared_->changed.notify_all();
    return shared_->changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                     [&] { return shared_->ended; });
}

void PortWriter::run(std::shared_ptr<Shared> shared) {
    ++gLiveWriterThreads;
    std::unique_lock<std::mutex> hold(shared->lock);
    for (;;) {
        shared->changed.wait(hold, [&] { return shared->stopping || !shared->frames.empty(); });
        if (shared->stopping) break;
        std::vector<std::uint8_t> frame = std::move(shared->frames.front());
        shared->frames.pop_front();
        hold.unlock();
        const WriteOutcome outcome = shared->write(frame.data(), static_cast<int>(frame.size()));
        hold.lock();
        if (outcome.gone && !shared->gone.exchange(true)) {
            // Frames after one that stuck would only stick too.
            shared->frames.clear();
            if (!shared->stopping) {
                hold.unlock();
                shared->lost();
                hold.lock();
            }
        }
    }
    shared->ended = true;
    shared->changed.notify_all();
    // The functions may hold what the owner gave (a device); they go here, with the thread.
    hold.unlock();
    --gLiveWriterThreads;
}

}  // namespace korvel::comms
