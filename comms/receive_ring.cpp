#include "comms/receive_ring.h"

#include <algorithm>
#include <cstring>

namespace korvel::comms {

namespace {

// Holds the guard for one ring operation.
class GuardHold {
  public:
    explicit GuardHold(RingGuard& guard)
        : guard_(guard), held_(guard.acquire(ReceiveRing::kGuardWaitMs)) {}
    ~GuardHold() {
        if (held_) guard_.release();
    }
    bool held() const { return held_; }

  private:
    RingGuard& guard_;
    bool held_;
};

}  // namespace

std::unique_ptr<ReceiveRing> ReceiveRing::create() {
    auto ring = std::make_unique<ReceiveRing>();
    if (!ring->guard_.valid()) return nullptr;
    // The guard must be free now; one that is not would stall every delivery.
    GuardHold hold(ring->guard_);
    if (!hold.held()) return nullptr;
    return ring;
}

int ReceiveRing::push(const std::uint8_t* bytes, int length) {
    if (bytes == nullptr || length <= 0) return 0;
    GuardHold hold(guard_);
    if (!hold.held()) return 0;
    const int stored = std::min(length, kCapacity - unread());
    for (int done = 0; done < stored;) {
        const int run = std::min(stored - done, kSize - static_cast<int>(write_));
        std::memcpy(data_.data() + write_, bytes + done, static_cast<std::size_t>(run));
        write_ = (write_ + static_cast<std::uint32_t>(run)) % kSize;
        done += run;
    }
    waiting_.store(unread(), std::memory_order_release);
    return stored;
}

int ReceiveRing::pop(std::uint8_t* buffer, int maximum) {
    if (buffer == nullptr || maximum <= 0 || count() == 0) return 0;
    GuardHold hold(guard_);
    if (!hold.held()) return 0;
    const int taken = std::min(maximum, unread());
    for (int done = 0; done < taken;) {
        const int run = std::min(taken - done, kSize - static_cast<int>(read_));
        std::memcpy(buffer + done, data_.data() + read_, static_cast<std::size_t>(run));
        read_ = (read_ + static_cast<std::uint32_t>(run)) % kSize;
        done += run;
    }
    waiting_.store(unread(), std::memory_order_release);
    return taken;
}

}  // namespace korvel::comms
