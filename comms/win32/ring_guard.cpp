#include "comms/ring_guard.h"

#include <windows.h>

#include <cstdio>

namespace korvel::comms {

// A named semaphore used as a lock: "%XBUFSEM" with the device handle value.
struct RingGuard::Native {
    HANDLE semaphore = nullptr;
};

RingGuard::RingGuard(std::uintptr_t deviceHandleValue) : native_(std::make_unique<Native>()) {
    char name[40];
    std::snprintf(name, sizeof name, "%llXBUFSEM",
                  static_cast<unsigned long long>(deviceHandleValue));
    native_->semaphore = CreateSemaphoreA(nullptr, 1, 1, name);
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
