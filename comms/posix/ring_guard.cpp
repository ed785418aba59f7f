#include "comms/ring_guard.h"

#include <pthread.h>
#include <time.h>

namespace korvel::comms {

// A plain pthread mutex with a timed lock (what std::timed_mutex wraps, in a form every
// thread checker follows).
struct RingGuard::Native {
    Native() { pthread_mutex_init(&mutex, nullptr); }
    ~Native() { pthread_mutex_destroy(&mutex); }
    pthread_mutex_t mutex;
};

RingGuard::RingGuard() : native_(std::make_unique<Native>()) {}

RingGuard::~RingGuard() = default;

bool RingGuard::valid() const {
    return native_ != nullptr;
}

bool RingGuard::acquire(std::uint32_t timeoutMs) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += static_cast<time_t>(timeoutMs / 1000);
    until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    return pthread_mutex_timedlock(&native_->mutex, &until) == 0;
}

void RingGuard::release() {
    pthread_mutex_unlock(&native_->mutex);
}

}  // namespace korvel::comms
