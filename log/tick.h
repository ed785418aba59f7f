#pragma once

#include <cstdint>

namespace korvel::log {

// The system's millisecond tick count: 32 bits, wrapping after about 49.7 days.
std::uint32_t millisecondTick();

}  // namespace korvel::log
