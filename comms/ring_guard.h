#pragma once

#include <cstdint>
#include <memory>

namespace korvel::comms {

// The lock of one receive ring, shared by the port's reader thread and the main thread. On
// Win32 it is an unnamed semaphore: a name is shared by every process of the session, so a
// guard named after a handle value would be shared with any program whose port handle has the
// same value, and one that died holding it would jam the port for good. On POSIX a timed
// mutex.
class RingGuard {
  public:
    RingGuard();
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
