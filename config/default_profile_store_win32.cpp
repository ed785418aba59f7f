#include "config/profile_store.h"
#include "config/win32_profile_store.h"

namespace korvel::config {

ProfileStore& defaultProfileStore() {
    static Win32ProfileStore store;
    return store;
}

}  // namespace korvel::config
