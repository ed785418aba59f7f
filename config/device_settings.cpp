#include "config/device_settings.h"

#include <cstdio>
#include <cstring>

#include "config/decimal.h"

namespace korvel::config {

std::string deviceFileName(int deviceNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "DEV_%03d.ini", deviceNumber);
    return name;
}

std::int32_t stopBitsCode(std::int32_t stopBits) {
    return stopBits == 2 ? 2 : 0;
}

std::int32_t parityCode(const char* text) {
    char kept[15] = {};  // the setting is compared as at most 14 characters
    if (text != nullptr) std::strncpy(kept, text, sizeof kept - 1);
    if (kept[0] == '\0' || kept[1] != '\0') return 0;
    switch (kept[0]) {
        case 'E':
        case 'e':
            return 2;
        case 'M':
        case 'm':
            return 3;
        case 'N':
        case 'n':
            return 0;
        case 'O':
        case 'o':
            return 1;
        default:
            return 0;
    }
}

DeviceSettings::DeviceSettings(Settings& settings, int deviceNumber)
    : settings_(settings), fileName_(deviceFileName(deviceNumber)) {}

std::int32_t DeviceSettings::number(const char* section, const char* key,
                                    const char* defaultValue) {
    return settings_.readNumber(fileName_.c_str(), section, key, defaultValue);
}

std::int32_t DeviceSettings::readWorkstation() {
    return decimalValue(settings_.readSetting("NTQ.INI", "Network", "Workstation", "0", false));
}

StartupSettings DeviceSettings::readStartup() {
    StartupSettings s;
    s.debugMode = number(kDriverSection, "DebugMode", "0");
    s.logMode = number(kDriverSection, "LogMode", "0");
    s.simulation = number(kDriverSection, "Simulation", "0");
    s.shuttle = number(kDriverSection, "Shuttle", "80");
    s.variable = number(kDriverSection, "Variable", "64");
    s.jog = number(kDriverSection, "Jog", "32");
    s.logToDisk = number(kDriverSection, "LogToDisk", "0");
    s.logKeepDays = decimalValue(
        settings_.readSetting(fileName_.c_str(), kDriverSection, "LogKeepDays", "0", false));
    return s;
}

VtLineSettings DeviceSettings::readVt(int vtNumber) {
    char section[16];
    std::snprintf(section, sizeof section, "VT%d", vtNumber);
    VtLineSettings vt;
    vt.port = number(section, "Port", "0");
    vt.speed = number(section, "Speed", "38400");
    vt.dataBits = number(section, "DataBits", "8");
    vt.stopBits = stopBitsCode(number(section, "StopBits", "1"));
    vt.parity = parityCode(settings_.readSetting(fileName_.c_str(), section, "Parity", "O", true));
    return vt;
}

TimeoutSettings DeviceSettings::readTimeouts() {
    TimeoutSettings t;
    t.txTimeoutMs = number(kDriverSection, "TxTimeoutmS", "250");
    t.rxTimeoutMs = number(kDriverSection, "RxTimeoutmS", "250");
    return t;
}

bool DeviceSettings::writeDebugMode(bool on) {
    return settings_.writeSetting(fileName_.c_str(), kDriverSection, "DebugMode", on ? "1" : "0");
}

}  // namespace korvel::config
