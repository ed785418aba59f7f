#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "comms/ring_guard.h"

namespace korvel::comms {

// The bytes a port's reader thread has received and nobody has read yet. One slot always
// stays empty, so at most 16383 bytes wait; bytes that arrive while the ring is full are
// dropped (and counted) rather than overwriting what waits.
class ReceiveRing {
  public:
    static constexpr int kSize = 16384;
    static constexpr int kCapacity = kSize - 1;
    static constexpr std::uint32_t kGuardWaitMs = 200;

    // A ring with a guard of its own; null when the guard cannot be made or had within the
    // guard wait.
    static std::unique_ptr<ReceiveRing> create();

    // Stores as many bytes as fit; the number stored (0 also for no bytes or a guard
    // time-out, which drops them).
    int push(const std::uint8_t* bytes, int length);
    // Copies up to maximum waiting bytes into buffer; the number copied. An empty ring gives
    // 0 without taking the guard.
    int pop(std::uint8_t* buffer, int maximum);
    // The unread count. It is kept beside the ring, so asking takes no guard: the owner asks
    // after every notification, and on Windows each turn of the guard is a system call.
    int count() const { return waiting_.load(std::memory_order_acquire); }

    ReceiveRing() = default;

  private:
    int unread() const { return static_cast<int>((write_ + kSize - read_) % kSize); }

    RingGuard guard_;
    std::array<std::uint8_t, kSize> data_{};
    std::uint32_t write_ = 0;      // next byte stored here
    std::uint32_t read_ = 0;       // next byte handed out from here
    std::atomic<int> waiting_{0};  // unread(), updated under the guard
};

}  // namespace korvel::comms
