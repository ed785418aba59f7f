#pragma once

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "config/profile_store.h"

namespace korvel::testing {

// Settings files held in memory; names of sections and keys match without regard to case.
class MemoryProfileStore final : public config::ProfileStore {
  public:
    std::size_t read(const std::string& path, const char* section, const char* key,
                     const char* defaultValue, char* buffer, std::size_t size) override {
        auto it = values.find(keyOf(path, section, key));
        const std::string& value = it == values.end() ? std::string(defaultValue) : it->second;
        const std::size_t n = std::min(value.size(), size - 1);
        std::memcpy(buffer, value.data(), n);
        buffer[n] = '\0';
        return n;
    }

    bool write(const std::string& path, const char* section, const char* key,
               const char* value) override {
        values[keyOf(path, section, key)] = value;
        return true;
    }

    void set(const std::string& path, const char* section, const char* key,
             const std::string& value) {
        values[keyOf(path, section, key)] = value;
    }

    using Key = std::tuple<std::string, std::string, std::string>;
    std::map<Key, std::string> values;

  private:
    static std::string lower(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }
    static Key keyOf(const std::string& path, const char* section, const char* key) {
        return {path, lower(section), lower(key)};
    }
};

}  // namespace korvel::testing
