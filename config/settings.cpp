#include "config/settings.h"

#include <cstdlib>
#include <utility>

#include "config/decimal.h"

namespace korvel::config {

const char* processEnvironment(const char* name) {
    return std::getenv(name);
}

std::string settingsPath(const std::string& fileName, const EnvironmentLookup& environment) {
    const char* root = environment ? environment("RZ_ROOT") : nullptr;
    const char* system = environment ? environment("RZ_SYSTEM") : nullptr;
    if (root == nullptr || *root == '\0' || system == nullptr || *system == '\0') return fileName;
    return std::string(root) + "\\" + system + "\\config\\system\\" + fileName;
}

std::string profileFileInUse(const std::string& path, const std::string& windowsFolder) {
    if (path.find_first_of("\\/") != std::string::npos) return path;
    if (windowsFolder.empty()) return path;
    const char last = windowsFolder.back();
    return windowsFolder + (last == '\\' || last == '/' ? "" : "\\") + path;
}

Settings::Settings(ProfileStore& store, EnvironmentLookup environment)
    : store_(store), environment_(std::move(environment)) {}

std::string Settings::pathOf(const char* fileName) const {
    return settingsPath(fileName ? fileName : "", environment_);
}

const char* Settings::readSetting(const char* fileName, const char* section, const char* key,
                                  const char* defaultValue, bool writeBack) {
    const std::string path = pathOf(fileName);
    value_[0] = '\0';
    store_.read(path, section, key, defaultValue, value_, sizeof value_);
    if (writeBack) store_.write(path, section, key, value_);
    return value_;
}

std::int32_t Settings::readNumber(const char* fileName, const char* section, const char* key,
                                  const char* defaultValue) {
    return decimalValue(readSetting(fileName, section, key, defaultValue, true));
}

bool Settings::writeSetting(const char* fileName, const char* section, const char* key,
                            const char* value) {
    return store_.write(pathOf(fileName), section, key, value);
}

}  // namespace korvel::config
