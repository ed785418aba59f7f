// Crashes on purpose with the driver's crash handling installed and its traffic log open:
// "fault" writes through a null pointer, "throw" leaves a C++ exception uncaught. Started by
// fatal_exception_test.cpp, with the settings tree (and so the log's folder) in RZ_ROOT.
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "log/disk_log.h"
#include "shell/fatal_exception.h"

namespace {

korvel::log::DiskLog* gLog = nullptr;

void logLine(const char* line) {
    gLog->writeLine(line);
    gLog->drain(korvel::log::LogWriter::kFinishWaitMs);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvel;
    gLog = new log::DiskLog(log::kDriverLogName, log::kDriverLogMode);
    shell::endAtOnceOnCrash(&logLine);
    if (argc > 1 && std::strcmp(argv[1], "fault") == 0) {
        volatile std::uintptr_t nowhere = 0;  // not known to the compiler as null
        *reinterpret_cast<volatile int*>(nowhere) = 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "throw") == 0) throw std::runtime_error("uncaught");
    return 0;
}
