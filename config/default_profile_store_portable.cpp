#include "config/ini_profile_store.h"
#include "config/profile_store.h"

namespace korvel::config {

ProfileStore& defaultProfileStore() {
    static IniProfileStore store;
    return store;
}

}  // namespace korvel::config
