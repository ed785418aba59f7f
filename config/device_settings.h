#pragma once

#include <cstdint>
#include <string>

#include "config/setting_keys.h"
#include "config/settings.h"

namespace korvel::config {

// "DEV_%03d.ini" with the command-line device number.
std::string deviceFileName(int deviceNumber);

// Serial device codes for the settings' texts: 2 gives two stop bits, anything else one.
constexpr std::int32_t stopBitsCode(std::int32_t stopBits) {
    return stopBits == 2 ? 2 : 0;
}
// "E" even, "M" mark, "N" none, "O" odd, without regard to case; anything else none.
constexpr std::int32_t parityCode(const char* text) {
    if (text == nullptr || text[0] == '\0' || text[1] != '\0') return 0;
    switch (text[0]) {
        case 'E':
        case 'e':
            return 2;
        case 'M':
        case 'm':
            return 3;
        case 'O':
        case 'o':
            return 1;
        default:
            return 0;
    }
}

// Section KORVEL, read at start-up in this order, each key written back.
struct StartupSettings {
    std::int32_t debugMode = kDebugModeKey.defaultNumber();  // non-zero turns the trace on
    std::int32_t logMode = kLogModeKey.defaultNumber();  // 2 a log file a day, 3 an hour, else one
    std::int32_t simulation = kSimulationKey.defaultNumber();  // chooses the window's caption
    std::int32_t shuttle = kShuttleKey.defaultNumber();        // default shuttle speed
    std::int32_t variable = kVariableKey.defaultNumber();      // default variable-speed value
    std::int32_t jog = kJogKey.defaultNumber();                // default jog speed
    std::int32_t logToDisk = kLogToDiskKey.defaultNumber();    // non-zero opens the disk log
    // Dated log files older than this many days are deleted; 0 keeps them all. Read only when
    // present, so that a first start's file is unchanged.
    std::int32_t logKeepDays = kLogKeepDaysKey.defaultNumber();
    // Non-zero: a port missing at start-up is waited for instead of refusing the start. Read
    // only when present.
    std::int32_t waitForPorts = kWaitForPortsKey.defaultNumber();
};

// Section "VT%d": the line settings of one VT, with stop bits and parity already turned into
// the serial device's codes.
struct VtLineSettings {
    std::int32_t port = kPortKey.defaultNumber();  // 0: the VT is not configured
    std::int32_t speed = kSpeedKey.defaultNumber();
    std::int32_t dataBits = kDataBitsKey.defaultNumber();
    std::int32_t stopBits = stopBitsCode(kStopBitsKey.defaultNumber());  // 0 one, 2 two
    std::int32_t parity = parityCode(kParityKey.defaultText);  // 0 none, 1 odd, 2 even, 3 mark
};

// Section KORVEL, read after the nine VT sections.
struct TimeoutSettings {
    std::int32_t txTimeoutMs = kTxTimeoutKey.defaultNumber();  // the transmit time-out
    std::int32_t rxTimeoutMs = kRxTimeoutKey.defaultNumber();  // kept, nothing else uses it
};

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
    // Reads a key, with write-back unless told otherwise; a VT key from the section of
    // vtNumber.
    const char* text(const SettingKey& key, int vtNumber = 0, bool writeBack = true);
    std::int32_t number(const SettingKey& key, int vtNumber = 0);

    Settings& settings_;
    std::string fileName_;
};

}  // namespace korvel::config
