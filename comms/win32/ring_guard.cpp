#include "comms/ring_guard.h"

#include <windows.h>

namespace korvel::comms {

// A semaphore of this process alone, used as a lock.
struct RingGuard::Native {
    HANDLE semaphore = nullptr;
};

RingGuard::RingGuard() : native_(std::make_unique<Native>()) {
    native_->semaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
}

RingGuard::~RingGuard() {
    if (native_->semaphore) CloseHandle(native_->semaphore);
}

bool RingGuard::valid() const {
    return native_->semaphore != nullptr;
}

bool RingGuard::acquire(std::uint32_t timeoutMs) {
    return WaitForSingleObject(native_->semaphore, timeoutMs) == WAIT_OBJECT_0;
}

void RingGuard::release() {
    ReleaseSemaphore(native_->semaphore, 1, nullptr);
}

}  // namespace korvel::comms
