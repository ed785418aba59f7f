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

// Some 64-bit Windows versions swallow a fault in a window procedure that the system called
// from the kernel (a sent message, a window's creation), and the program runs on in an
// undefined state. Where the system has the switch, such a fault goes to the filter instead.
void letCallbackFaultsThrough() {
    using GetPolicy = BOOL(WINAPI*)(LPDWORD);
    using SetPolicy = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kCallbackFilterEnabled = 0x1;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    auto get = reinterpret_cast<GetPolicy>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetProcessUserModeExceptionPolicy")));
    auto set = reinterpret_cast<SetPolicy>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessUserModeExceptionPolicy")));
    DWORD flags = 0;
    if (get != nullptr && set != nullptr && get(&flags)) set(flags & ~kCallbackFilterEnabled);
}

}  // namespace

void endAtOnceOnCrash(FatalLineSink sink) {
    gSink = sink;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    letCallbackFaultsThrough();
    SetUnhandledExceptionFilter(&onUnhandledException);
    std::set_terminate(&onTerminate);
}

void formatFatalExceptionLine(char* out, std::size_t size, DWORD code, const void* address) {
    std::snprintf(out, size, "korvel: fatal exception %08lX at 0x%0*llX",
                  static_cast<unsigned long>(code), static_cast<int>(2 * sizeof address),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
}

}  // namespace korvel::shell
