#include "config/device_settings.h"

#include <cstdio>

#include "config/decimal.h"

namespace korvel::config {

std::string deviceFileName(int deviceNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "DEV_%03d.ini", deviceNumber);
    return name;
}

DeviceSettings::DeviceSettings(Settings& settings, int deviceNumber)
    : settings_(settings), fileName_(deviceFileName(deviceNumber)) {}

const char* DeviceSettings::text(const SettingKey& key, int vtNumber, bool writeBack) {
    char vtSection[16];
    std::snprintf(vtSection, sizeof vtSection, "VT%d", vtNumber);
    const char* section = key.section != nullptr ? key.section : vtSection;
    return settings_.readSetting(fileName_.c_str(), section, key.key, key.defaultText, writeBack);
}

std::int32_t DeviceSettings::number(const SettingKey& key, int vtNumber) {
    return decimalValue(text(key, vtNumber));
}

std::int32_t DeviceSettings::readWorkstation() {
    const SettingKey& key = kWorkstationKey;
    return decimalValue(
        settings_.readSetting("NTQ.INI", key.section, key.key, key.defaultText, false));
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
    s.logKeepDays = decimalValue(text(kLogKeepDaysKey, 0, false));
    s.waitForPorts = decimalValue(text(kWaitForPortsKey, 0, false));
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
