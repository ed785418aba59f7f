#pragma once

#include <cstddef>
#include <string>

namespace korvel::config {

// One key of one section of one INI file: the private-profile calls of Windows, or a
// portable reader/writer with the same observable behaviour. Section and key names match
// without regard to case; values are trimmed of surrounding blanks and of one pair of
// enclosing quotes.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;

    // Copies the key's value, or defaultValue when the file, section or key is missing,
    // into buffer (size bytes, always terminated; longer values are cut to size - 1).
    // Returns the number of characters copied.
    virtual std::size_t read(const std::string& path, const char* section, const char* key,
                             const char* defaultValue, char* buffer, std::size_t size) = 0;

    // Sets the key, adding the section and the file when missing. A folder that does not
    // exist is not created. False when the file could not be written.
    virtual bool write(const std::string& path, const char* section, const char* key,
                       const char* value) = 0;
};

// The store of this build: the Windows API in the Windows program, the portable one elsewhere.
ProfileStore& defaultProfileStore();

}  // namespace korvel::config
