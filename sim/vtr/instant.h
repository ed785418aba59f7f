#pragma once

#include <chrono>

namespace korvel::sim::vtr {

// A point on the monotonic clock, as the time since its epoch. The deck model never reads a
// clock itself: every call is handed the time, so tests drive it with made-up instants.
using Instant = std::chrono::microseconds;

}  // namespace korvel::sim::vtr
