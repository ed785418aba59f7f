#include "config/device_settings.h"

#include <cstdio>
#include <limits>

#include "config/decimal.h"

namespace korvel::config {

std::string deviceFileName(int deviceNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "DEV_%03d.ini", deviceNumber);
    return name;
}

DeviceSettings::DeviceSettings(Settings& settings, int deviceNumber)
    : settings_(settings), fileName_(deviceFileName(deviceNumber)) {}

bool isWholeNumber(const char* text) {
    if (text == nullptr) return false;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (isBlank(*text)) ++text;
    const char* number = text;
    if (*text == '+' || *text == '-') ++text;
    const char* digits = text;
    while (*text >= '0' && *text <= '9') ++text;
    if (text == digits) return false;
    while (isBlank(*text)) ++text;
    if (*text != '\0') return false;
    // Beyond 32 bits the conversion gives the nearest limit: not the number written.
    const std::int32_t value = decimalValue(number);
    return value != std::numeric_limits<std::int32_t>::max() &&
           value != std::numeric_limits<std::int32_t>::min();
}

std::string describeSettingWarning(const SettingWarning& w) {
    return w.file + " [" + w.section + "] " + w.key + "=\"" + w.text + "\": " + w.problem + "; " +
           w.used + " used";
}

const char* DeviceSettings::text(const SettingKey& key, int vtNumber, bool writeBack) {
    char vtSection[16];
    std::snprintf(vtSection, sizeof vtSection, "VT%d", vtNumber);
    const char* section = key.section != nullptr ? key.section : vtSection;
    const char* value =
        settings_.readSetting(fileName_.c_str(), section, key.key, key.defaultText, writeBack);
    check(fileName_.c_str(), section, key, value);
    return value;
}

std::int32_t DeviceSettings::number(const SettingKey& key, int vtNumber, bool writeBack) {
    return decimalValue(text(key, vtNumber, writeBack));
}

void DeviceSettings::check(const char* file, const char* section, const SettingKey& key,
                           const char* value) {
    if (!warningSink_) return;
    if (&key == &kParityKey) {
        if (parityCode(value) == 0 &&
            !(value[0] != '\0' && value[1] == '\0' && (value[0] == 'N' || value[0] == 'n'))) {
            warn(file, section, key, value, "none", "not one of E, M, N and O");
        }
        return;
    }
    const std::int32_t number = decimalValue(value);
    // Stop bits other than 2 give one.
    const std::string used = std::to_string(&key == &kStopBitsKey && number != 2 ? 1 : number);
    if (!isWholeNumber(value)) {
        warn(file, section, key, value, used, "not a whole number");
    } else if (number < key.minimum || number > key.maximum) {
        warn(file, section, key, value, used,
             "outside " + std::to_string(key.minimum) + " to " + std::to_string(key.maximum));
    }
}

void DeviceSettings::warn(const char* file, const char* section, const SettingKey& key,
                          const char* text, std::string used, std::string problem) {
    if (!warned_.insert(std::string(section) + "/" + key.key).second) return;
    warningSink_(SettingWarning{settings_.pathOf(file), section, key.key, text, std::move(used),
                                std::move(problem)});
}

std::int32_t DeviceSettings::readWorkstation() {
    const SettingKey& key = kWorkstationKey;
    const char* value =
        settings_.readSetting("NTQ.INI", key.section, key.key, key.defaultText, false);
    check("NTQ.INI", key.section, key, value);
    return decimalValue(value);
}

// Each read below is in the order a first start writes the keys to the file.
StartupSettings DeviceSettings::readStartup() {
    StartupSettings s;
    s.debugMode = number(kDebugModeKey);
    s.logMode = number(kLogModeKey);
    s.simulation = number(kSimulationKey);
    s.shuttle = number(kShuttleKey);
    s.variable = number(kVariableKey);
    s.jog = number(kJogKey);
    s.logToDisk = number(kLogToDiskKey);
    s.logKeepDays = number(kLogKeepDaysKey, 0, false);
    s.waitForPorts = number(kWaitForPortsKey, 0, false);
    s.eventsKeepDays = number(kEventsKeepDaysKey, 0, false);
    s.hangLimitS = number(kHangLimitKey, 0, false);
    return s;
}

VtLineSettings DeviceSettings::readVt(int vtNumber) {
    VtLineSettings vt;
    vt.port = number(kPortKey, vtNumber);
    vt.speed = number(kSpeedKey, vtNumber);
    vt.dataBits = number(kDataBitsKey, vtNumber);
    vt.stopBits = stopBitsCode(number(kStopBitsKey, vtNumber));
    vt.parity = parityCode(text(kParityKey, vtNumber));
    return vt;
}

TimeoutSettings DeviceSettings::readTimeouts() {
    TimeoutSettings t;
    t.txTimeoutMs = number(kTxTimeoutKey);
    t.rxTimeoutMs = number(kRxTimeoutKey);
    return t;
}

bool DeviceSettings::writeDebugMode(bool on) {
    return settings_.writeSetting(fileName_.c_str(), kDebugModeKey.section, kDebugModeKey.key,
                                  on ? "1" : "0");
}

}  // namespace korvel::config
