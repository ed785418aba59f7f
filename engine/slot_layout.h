#pragma once

// The slots of a VT's infodriver: what the control system writes there and what the driver
// publishes. The engine, the emulators, the probe and the tests all name slots from here.

#include <cstdint>

#include "engine/command_table.h"

namespace korvel::engine {

// Written by the control system: "RESET", or a command number, optionally "," and a value.
inline constexpr std::int32_t kCommandSlot = 1;
// Published by the driver: the transport state number.
inline constexpr std::int32_t kTransportStateSlot = 2;
// Published by the driver: "1,%d," while communication has failed, "0,%d," while answering.
inline constexpr std::int32_t kCommsStateSlot = 3;
// Published by the driver: the flags of the status reply, "%d,%d," and "%d,%d,%d,".
inline constexpr std::int32_t kStatusFlagsSlot = 4;
inline constexpr std::int32_t kStatusMoreFlagsSlot = 5;
// Published by the driver: the flag of the nine-byte status reply, "%d,".
inline constexpr std::int32_t kExtendedStatusSlot = 6;
// Written by the control system, written back by the driver: the timecode poll period in ms.
inline constexpr std::int32_t kTimecodePeriodSlot = 10;
// Published by the driver: the current timecode, "hh.mm.ss.ff".
inline constexpr std::int32_t kTimecodeSlot = 11;
// Written by the control system and by the driver: the cue point, "hh.mm.ss.ff".
inline constexpr std::int32_t kCuePointSlot = 12;

// Slots that are command numbers: a write there issues the command of the slot's own
// number, with value 0 whatever the text ...
inline constexpr std::int32_t kPrerollSlot = kPreroll;
inline constexpr std::int32_t kInPresetSlot = kInPreset;
inline constexpr std::int32_t kInEntrySlot = kInEntry;
inline constexpr std::int32_t kOutPresetSlot = kOutPreset;
inline constexpr std::int32_t kOutEntrySlot = kOutEntry;
// ... or, here, with the text's decimal value.
inline constexpr std::int32_t kGroup2ACSlot = kGroup2AC;

// Any other slot that the control system writes is written back unchanged.

}  // namespace korvel::engine
