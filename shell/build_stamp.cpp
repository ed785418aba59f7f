#include "shell/build_stamp.h"

namespace korvel::shell {

const char* buildDate() {
    return __DATE__;
}

const char* buildTime() {
    return __TIME__;
}

}  // namespace korvel::shell
