#pragma once

#include "config/profile_store.h"

namespace korvel::config {

// The Windows private-profile calls. A path without a folder is looked up in the Windows
// folder, as those calls do.
class Win32ProfileStore final : public ProfileStore {
  public:
    std::size_t read(const std::string& path, const char* section, const char* key,
                     const char* defaultValue, char* buffer, std::size_t size) override;
    bool write(const std::string& path, const char* section, const char* key,
               const char* value) override;
};

}  // namespace korvel::config
