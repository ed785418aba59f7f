#pragma once

#include <cstdint>

namespace korvel::comms {

// Keeps a port's notifications to the main window few: one when bytes first arrive, then
// none while one is outstanding, unless 100 ms have passed since the last one or more than
// 8192 bytes wait unread. A read makes the next arrival notify at once.
struct NotifyThrottle {
    static constexpr std::uint32_t kIntervalMs = 100;
    static constexpr int kBacklogBytes = 8192;

    int pending = 0;             // 1 while a posted notification is outstanding
    std::uint32_t lastTick = 0;  // tick of the last posted notification

    // Bytes were delivered at tick now and unread bytes wait: true when a notification is to
    // be posted now (and it is then taken as outstanding).
    bool onDelivery(std::uint32_t now, int unread) {
        // Unsigned difference: right across the wrap of the tick counter.
        if (now - lastTick >= kIntervalMs || unread > kBacklogBytes) pending = 0;
        if (pending != 0) return false;
        pending = 1;
        lastTick = now;
        return true;
    }

    void onRead() { pending = 0; }
};

}  // namespace korvel::comms
