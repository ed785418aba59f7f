#pragma once

#include <cstdint>
#include <memory>

namespace korvel::comms {

// The lock of one receive ring, shared by the port's reader thread and the main thread. On
// Win32 it is the named semaphore "%XBUFSEM" (the device handle value in upper-case hex);
// on POSIX a timed mutex.
class RingGuard {
  public:
    explicit RingGuard(std::uintptr_t deviceHandleValue);
    ~RingGuard();
    RingGuard(const RingGuard&) = delete;
    RingGuard& operator=(const RingGuard&) = delete;

    bool valid() const;
    // False when the guard was not had within timeoutMs.
    bool acquire(std::uint32_t timeoutMs);
    void release();

  private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace korvel::comms
