#pragma once

#include "config/profile_store.h"

namespace korvel::config {

// A small INI reader/writer that behaves, as far as this program can see, like the Windows
// private-profile calls: names match without regard to case, only the first section of a
// name is used, values are trimmed and lose one pair of enclosing quotes, a missing key is
// added at the end of its section and a missing section at the end of the file, lines end
// with CR LF. Lines it does not change are kept as they are. Backslashes in paths are taken
// as folder separators, so the same path rule serves on every platform.
class IniProfileStore final : public ProfileStore {
  public:
    std::size_t read(const std::string& path, const char* section, const char* key,
                     const char* defaultValue, char* buffer, std::size_t size) override;
    bool write(const std::string& path, const char* section, const char* key,
               const char* value) override;
};

}  // namespace korvel::config
