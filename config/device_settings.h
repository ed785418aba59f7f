#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"

namespace korvel::config {

// The driver's own section of its settings file.
inline constexpr const char* kDriverSection = "KORVEL";

// "DEV_%03d.ini" with the command-line device number.
std::string deviceFileName(int deviceNumber);

// Section KORVEL, read at start-up in this order, each key but the last written back.
struct StartupSettings {
    std::int32_t debugMode = 0;   // "DebugMode": non-zero turns the trace on
    std::int32_t logMode = 0;     // "LogMode": 2 a log file a day, 3 an hour, else one file
    std::int32_t simulation = 0;  // "Simulation": chooses the main window's caption
    std::int32_t shuttle = 80;    // "Shuttle": default shuttle speed
    std::int32_t variable = 64;   // "Variable": default variable-speed value
    std::int32_t jog = 32;        // "Jog": default jog speed
    std::int32_t logToDisk = 0;   // "LogToDisk": non-zero opens the disk log at start-up
    // "LogKeepDays": dated log files older than this many days are deleted; 0 keeps them
    // all. Read only when present, so that a first start's file is unchanged.
    std::int32_t logKeepDays = 0;
};

// Section "VT%d": the line settings of one VT, with stop bits and parity already turned into
// the serial device's codes.
struct VtLineSettings {
    std::int32_t port = 0;  // 0: the VT is not configured
    std::int32_t speed = 38400;
    std::int32_t dataBits = 8;
    std::int32_t stopBits = 0;  // 0 one stop bit, 2 two
    std::int32_t parity = 1;    // 0 none, 1 odd, 2 even, 3 mark
};

// Section KORVEL, read after the nine VT sections.
struct TimeoutSettings {
    std::int32_t txTimeoutMs = 250;  // "TxTimeoutmS": the transmit time-out
    std::int32_t rxTimeoutMs = 250;  // "RxTimeoutmS": kept, nothing else uses it
};

// Serial device codes for the settings' texts: 2 gives two stop bits, anything else one.
std::int32_t stopBitsCode(std::int32_t stopBits);
// "E" even, "M" mark, "N" none, "O" odd, without regard to case; anything else none.
std::int32_t parityCode(const char* text);

// The settings of one driver instance, named by its device number.
class DeviceSettings {
  public:
    DeviceSettings(Settings& settings, int deviceNumber);

    // "NTQ.INI", section "Network", key "Workstation": read first, never written back.
    std::int32_t readWorkstation();
    StartupSettings readStartup();
    VtLineSettings readVt(int vtNumber);
    TimeoutSettings readTimeouts();
    // Stores "DebugMode" as "1" or "0"; false when the file could not be written.
    bool writeDebugMode(bool on);

    const std::string& fileName() const { return fileName_; }

  private:
    std::int32_t number(const char* section, const char* key, const char* defaultValue);

    Settings& settings_;
    std::string fileName_;
};

}  // namespace korvel::config
