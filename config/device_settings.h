#pragma once

#include <cstdint>
#include <functional>
#include <set>
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
    // The events journal's days kept, 0 all (read only when present).
    std::int32_t eventsKeepDays = kEventsKeepDaysKey.defaultNumber();
    // Seconds the main loop may stand still before the driver ends, 0 never (read only when
    // present).
    std::int32_t hangLimitS = kHangLimitKey.defaultNumber();
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

// A value that is not what its key uses: not a whole number, outside the key's range, or a
// parity that is not one of E, M, N and O. The driver still uses what the reading rule gives.
struct SettingWarning {
    std::string file;  // the path the reading rule gave
    std::string section;
    std::string key;
    std::string text;     // as found
    std::string used;     // the value used, as text
    std::string problem;  // "not a whole number", "outside 0 to 255", ...
};
using SettingWarningSink = std::function<void(const SettingWarning&)>;

// "DEV_001.ini [VT1] Port=\"COM5\": not a whole number; 0 used"
std::string describeSettingWarning(const SettingWarning& warning);

// Whether the text is a whole number as a person writes it: blanks around it, one sign,
// digits only, within 32 bits.
bool isWholeNumber(const char* text);

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

    // Each key whose value is not what it uses is told here once, as it is read.
    void setWarningSink(SettingWarningSink sink) { warningSink_ = std::move(sink); }

  private:
    // Reads a key, with write-back unless told otherwise; a VT key from the section of
    // vtNumber.
    const char* text(const SettingKey& key, int vtNumber = 0, bool writeBack = true);
    std::int32_t number(const SettingKey& key, int vtNumber = 0, bool writeBack = true);
    // Checks a text just read against its key and warns once per section and key.
    void check(const char* file, const char* section, const SettingKey& key, const char* text);
    void warn(const char* file, const char* section, const SettingKey& key, const char* text,
              std::string used, std::string problem);

    Settings& settings_;
    std::string fileName_;
    SettingWarningSink warningSink_;
    std::set<std::string> warned_;  // "section/key" already told
};

}  // namespace korvel::config
