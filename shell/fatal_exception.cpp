#include "shell/fatal_exception.h"

#include <cstdint>
#include <cstdio>
#include <exception>

namespace korvel::shell {

namespace {

constexpr std::size_t kLineSize = 64;

FatalLineSink gSink = nullptr;
volatile LONG gEnding = 0;

[[noreturn]] void reportAndEnd(DWORD code, const void* address) {
    // A second crash while the first is reported (on another thread, or in the sink) only ends.
    if (InterlockedExchange(&gEnding, 1) == 0) {
        char line[kLineSize];
        formatFatalExceptionLine(line, sizeof line, code, address);
        OutputDebugStringA(line);
        if (gSink != nullptr) gSink(line);
    }
    TerminateProcess(GetCurrentProcess(), code != 0 ? code : 1);
    for (;;) Sleep(INFINITE);  // TerminateProcess does not come back for the calling process
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception != nullptr ? exception->ExceptionRecord : nullptr;
    reportAndEnd(record != nullptr ? record->ExceptionCode : 0,
                 record != nullptr ? record->ExceptionAddress : nullptr);
}

[[noreturn]] void onTerminate() {
    // The C runtime's own abort would show a box and wait.
    reportAndEnd(kUncaughtCppException, __builtin_return_address(0));
}

}  // namespace

void endAtOnceOnCrash(FatalLineSink sink) {
    gSink = sink;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(&onUnhandledException);
    std::set_terminate(&onTerminate);
}

void formatFatalExceptionLine(char* out, std::size_t size, DWORD code, const void* address) {
    std::snprintf(out, size, "korvel: fatal exception %08lX at 0x%0*llX",
                  static_cast<unsigned long>(code), static_cast<int>(2 * sizeof address),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
}

}  // namespace korvel::shell
