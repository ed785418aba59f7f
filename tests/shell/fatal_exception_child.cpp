// Crashes on purpose with the driver's evidence in place (journal, dumps, crash filter):
// "fault" writes through a null pointer, "throw" leaves a C++ exception uncaught, and
// "thread-throw" lets one escape a thread of its own. Started by fatal_exception_test.cpp,
// with the settings tree (and so the logs' folder) in RZ_ROOT.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "shell/evidence.h"

int main(int argc, char** argv) {
    using namespace korvel;
    shell::Evidence evidence;
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "fault") == 0) {
        volatile std::uintptr_t nowhere = 0;  // not known to the compiler as null
        *reinterpret_cast<volatile int*>(nowhere) = 1;
    }
    if (std::strcmp(mode, "throw") == 0) throw std::runtime_error("uncaught");
    if (std::strcmp(mode, "thread-throw") == 0) {
        std::thread thrower([] { throw std::out_of_range("from a thread"); });
        thrower.join();
    }
    return 0;
}
