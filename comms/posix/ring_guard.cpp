#include "comms/ring_guard.h"

#include <chrono>
#include <mutex>

namespace korvel::comms {

struct RingGuard::Native {
    std::timed_mutex mutex;
};

RingGuard::RingGuard(std::uintptr_t) : native_(std::make_unique<Native>()) {}

RingGuard::~RingGuard() = default;

bool RingGuard::valid() const {
    return native_ != nullptr;
}

bool RingGuard::acquire(std::uint32_t timeoutMs) {
    return native_->mutex.try_lock_for(std::chrono::milliseconds(timeoutMs));
}

void RingGuard::release() {
    native_->mutex.unlock();
}

}  // namespace korvel::comms
