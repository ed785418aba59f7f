#pragma once

#include <cstdint>
#include <limits>

#include "config/decimal.h"

namespace korvel::config {

// The driver's own section of its settings file.
inline constexpr const char* kDriverSection = "KORVEL";

// One key of the settings file and the text a first start writes for it when it is missing.
// Every key's name and default is written here once; the settings' structs, the engine's
// defaults, the reading order and the package's example file all come from these.
struct SettingKey {
    const char* section;  // null: the VT's own section, "VT%d"
    const char* key;
    const char* defaultText;
    // The values the key uses; a whole number outside them is read as the rule says, and
    // said in a warning.
    std::int32_t minimum = std::numeric_limits<std::int32_t>::min();
    std::int32_t maximum = std::numeric_limits<std::int32_t>::max();

    constexpr std::int32_t defaultNumber() const { return decimalValue(defaultText); }
};

// Section KORVEL, read at start-up.
inline constexpr SettingKey kDebugModeKey{kDriverSection, "DebugMode", "0", 0, 1};
inline constexpr SettingKey kLogModeKey{kDriverSection, "LogMode", "0", 0, 3};
inline constexpr SettingKey kSimulationKey{kDriverSection, "Simulation", "0", 0, 1};
inline constexpr SettingKey kShuttleKey{kDriverSection, "Shuttle", "80", 0, 255};
inline constexpr SettingKey kVariableKey{kDriverSection, "Variable", "64", 0, 255};
inline constexpr SettingKey kJogKey{kDriverSection, "Jog", "32", 0, 255};
inline constexpr SettingKey kLogToDiskKey{kDriverSection, "LogToDisk", "0", 0, 1};
// Read only when present: a first start does not write it.
inline constexpr SettingKey kLogKeepDaysKey{kDriverSection, "LogKeepDays", "0", 0, 3650};
// Non-zero: a VT whose port is missing at start-up starts as a VT whose port was pulled while
// running, and comes up when the port appears; 0 (the default) refuses the start. Read only
// when present: a first start does not write it.
inline constexpr SettingKey kWaitForPortsKey{kDriverSection, "WaitForPorts", "0", 0, 1};

// Read only when present: the events journal's daily files older than this many days are
// deleted (0 keeps them all), and a main loop that has not turned for this many seconds ends
// the driver (0: never).
inline constexpr SettingKey kEventsKeepDaysKey{kDriverSection, "EventsKeepDays", "30", 0, 3650};
inline constexpr SettingKey kHangLimitKey{kDriverSection, "HangLimitS", "60", 0, 86400};

// Sections VT1 to VT9: the line settings of one VT.
inline constexpr SettingKey kPortKey{nullptr, "Port", "0", 0, 256};
inline constexpr SettingKey kSpeedKey{nullptr, "Speed", "38400", 110, 921600};
inline constexpr SettingKey kDataBitsKey{nullptr, "DataBits", "8", 5, 8};
inline constexpr SettingKey kStopBitsKey{nullptr, "StopBits", "1", 1, 2};
inline constexpr SettingKey kParityKey{nullptr, "Parity", "O"};

// Section KORVEL, read after the nine VT sections.
inline constexpr SettingKey kTxTimeoutKey{kDriverSection, "TxTimeoutmS", "250", 1, 60000};
inline constexpr SettingKey kRxTimeoutKey{kDriverSection, "RxTimeoutmS", "250", 1, 60000};

// NTQ.INI, section "Network": read first, never written back.
inline constexpr SettingKey kWorkstationKey{"Network", "Workstation", "0"};

}  // namespace korvel::config
