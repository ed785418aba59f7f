#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/profile_store.h"

namespace korvel::config {

// Looks up an environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The process's own environment.
const char* processEnvironment(const char* name);

// With both RZ_ROOT and RZ_SYSTEM set (and not empty), a settings file lives in
// "<root>\<system>\config\system\<name>"; otherwise the bare name is used.
std::string settingsPath(const std::string& fileName, const EnvironmentLookup& environment);

// The file that Windows' profile calls really use for a path: a name without any folder
// separator lives in the Windows folder (windowsFolder, e.g. C:\Windows), not in the current
// one; any other path is used as it is.
std::string profileFileInUse(const std::string& path, const std::string& windowsFolder);

// Reads and writes single settings through a profile store, following the path rule.
class Settings {
  public:
    static constexpr std::size_t kValueBufferSize = 256;

    explicit Settings(ProfileStore& store, EnvironmentLookup environment = processEnvironment);

    // Reads one key into the shared buffer (values longer than 255 characters are cut).
    // With writeBack, the value just read - the default when the key was missing - is
    // written back, so a first start leaves every key in the file. The text stays valid
    // until the next read.
    const char* readSetting(const char* fileName, const char* section, const char* key,
                            const char* defaultValue, bool writeBack);

    // readSetting with write-back, converted as a decimal number (non-numeric text gives 0).
    std::int32_t readNumber(const char* fileName, const char* section, const char* key,
                            const char* defaultValue);

    // False when the file could not be written; callers carry on regardless.
    bool writeSetting(const char* fileName, const char* section, const char* key,
                      const char* value);

    std::string pathOf(const char* fileName) const;

  private:
    ProfileStore& store_;
    EnvironmentLookup environment_;
    char value_[kValueBufferSize] = {};
};

}  // namespace korvel::config
