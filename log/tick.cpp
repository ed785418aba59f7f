#include "log/tick.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace korvel::log {

std::uint32_t millisecondTick() {
#ifdef _WIN32
    return GetTickCount();
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
#endif
}

}  // namespace korvel::log
