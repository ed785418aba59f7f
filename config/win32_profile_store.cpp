#include "config/win32_profile_store.h"

#include <windows.h>

namespace korvel::config {

std::size_t Win32ProfileStore::read(const std::string& path, const char* section, const char* key,
                                    const char* defaultValue, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    return GetPrivateProfileStringA(section, key, defaultValue ? defaultValue : "", buffer,
                                    static_cast<DWORD>(size), path.c_str());
}

bool Win32ProfileStore::write(const std::string& path, const char* section, const char* key,
                              const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr) return false;
    return WritePrivateProfileStringA(section, key, value, path.c_str()) != 0;
}

}  // namespace korvel::config
