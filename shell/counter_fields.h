#pragma once

#include <cstdint>

#include "engine/engine_host.h"

namespace korvel::shell {

// Room for any 32-bit counter and its terminator.
inline constexpr int kCounterTextSize = 12;

// A counter as the panel shows it: eight digits, zero-padded; larger values in full.
void formatCounter(std::uint32_t value, char (&text)[kCounterTextSize]);

// Writes every device's serial Tx and Rx counts into its VT's fields, then the totals of
// the devices' infodriver counters into the infodriver Tx and Rx fields. VT positions without a
// device keep their text.
void refreshCounterFields(engine::EngineHost& panel);

}  // namespace korvel::shell
