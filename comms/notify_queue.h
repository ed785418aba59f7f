#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace korvel::comms {

class SerialPort;

// Where the POSIX back-end posts port notifications, as Win32 posts WM_COMMNOTIFY to a
// window: reader threads post, the main loop takes each and hands it to serialDispatch.
class NotifyQueue {
  public:
    void post(SerialPort* owner) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            posted_.push_back(owner);
        }
        ready_.notify_one();
    }

    // The oldest notification, waiting up to timeoutMs; null when none came.
    SerialPort* take(int timeoutMs) {
        std::unique_lock<std::mutex> hold(lock_);
        if (!ready_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                             [this] { return !posted_.empty(); })) {
            return nullptr;
        }
        SerialPort* owner = posted_.front();
        posted_.pop_front();
        return owner;
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> hold(lock_);
        return posted_.size();
    }

  private:
    mutable std::mutex lock_;
    std::condition_variable ready_;
    std::deque<SerialPort*> posted_;
};

}  // namespace korvel::comms
