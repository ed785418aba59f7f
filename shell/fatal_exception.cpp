#include "shell/fatal_exception.h"

#include <cxxabi.h>
#include <unwind.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "shell/crash_dump.h"

namespace korvel::shell {

namespace {

constexpr std::size_t kLineSize = 512;
constexpr std::size_t kNameSize = 200;

FatalLineSink gSink = nullptr;
const char* gVersion = "";
volatile LONG gEnding = 0;

// The exception header that the Itanium C++ ABI (GCC's) puts before every thrown object; a
// 64-bit GCC exception's first parameter points at its unwindHeader.
struct CxaException {
    std::type_info* exceptionType;
    void (*exceptionDestructor)(void*);
    void (*unexpectedHandler)();
    void (*terminateHandler)();
    CxaException* nextException;
    int handlerCount;
    int handlerSwitchValue;
    const unsigned char* actionRecord;
    const unsigned char* languageSpecificData;
    void* catchTemp;
    void* adjustedPtr;
    _Unwind_Exception unwindHeader;
};

// "C++ exception std::runtime_error" from a type's mangled name; the plain name when it
// cannot be had.
void nameCppException(char* out, std::size_t size, const std::type_info* type) {
    if (type == nullptr) {
        std::snprintf(out, size, "%s", exceptionName(kUncaughtCppException));
        return;
    }
    int status = -1;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    std::snprintf(out, size, "C++ exception %s", status == 0 && readable ? readable : type->name());
    std::free(readable);
}

[[noreturn]] void reportAndEnd(DWORD code, const char* name, const void* address,
                               EXCEPTION_POINTERS* exception) {
    // A second crash while the first is reported (on another thread, or in the sink) only ends.
    if (InterlockedExchange(&gEnding, 1) == 0) {
        char dump[MAX_PATH * 2] = {};
        writeDump("crash", exception, dump, sizeof dump);
        char line[kLineSize];
        formatFatalExceptionLine(line, sizeof line, code, name, address, dump);
        OutputDebugStringA(line);
        if (gSink != nullptr) gSink(line);
    }
    if (code == kGccCppException) code = kUncaughtCppException;
    TerminateProcess(GetCurrentProcess(), code != 0 ? code : 1);
    for (;;) Sleep(INFINITE);  // TerminateProcess does not come back for the calling process
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception != nullptr ? exception->ExceptionRecord : nullptr;
    const DWORD code = record != nullptr ? record->ExceptionCode : 0;
    char name[kNameSize];
    std::snprintf(name, sizeof name, "%s", exceptionName(code));
    if (code == kGccCppException && record->NumberParameters >= 1 &&
        record->ExceptionInformation[0] != 0) {
        auto* unwind = reinterpret_cast<_Unwind_Exception*>(record->ExceptionInformation[0]);
        const auto* header = reinterpret_cast<const CxaException*>(
            reinterpret_cast<const char*>(unwind) - offsetof(CxaException, unwindHeader));
        nameCppException(name, sizeof name, header->exceptionType);
    }
    reportAndEnd(code, name, record != nullptr ? record->ExceptionAddress : nullptr, exception);
}

[[noreturn]] void onTerminate() {
    // The C runtime's own abort would show a box and wait.
    char name[kNameSize];
    nameCppException(name, sizeof name, abi::__cxa_current_exception_type());
    reportAndEnd(kUncaughtCppException, name, __builtin_return_address(0), nullptr);
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

// Windows Error Reporting shows no box for this process (where the system has it).
void quietErrorReporting() {
    using SetFlags = HRESULT(WINAPI*)(DWORD);
    constexpr DWORD kNoUi = 0x00000020;  // WER_FAULT_REPORTING_NO_UI
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    auto set =
        reinterpret_cast<SetFlags>(reinterpret_cast<void*>(GetProcAddress(kernel, "WerSetFlags")));
    if (set != nullptr) set(kNoUi);
}

}  // namespace

void endAtOnceOnCrash(FatalLineSink sink, const char* versionText) {
    gSink = sink;
    gVersion = versionText != nullptr ? versionText : "";
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    quietErrorReporting();
    letCallbackFaultsThrough();
    reinstallCrashFilter();
    std::set_terminate(&onTerminate);
}

void reinstallCrashFilter() {
    SetUnhandledExceptionFilter(&onUnhandledException);
}

const char* exceptionName(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
            return "access violation";
        case EXCEPTION_STACK_OVERFLOW:
            return "stack overflow";
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
            return "integer divide by zero";
        case EXCEPTION_ILLEGAL_INSTRUCTION:
            return "illegal instruction";
        case EXCEPTION_PRIV_INSTRUCTION:
            return "privileged instruction";
        case EXCEPTION_IN_PAGE_ERROR:
            return "in-page error";
        case EXCEPTION_DATATYPE_MISALIGNMENT:
            return "misaligned data";
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
            return "array bounds exceeded";
        case EXCEPTION_BREAKPOINT:
            return "breakpoint";
        case EXCEPTION_NONCONTINUABLE_EXCEPTION:
            return "non-continuable exception";
        case 0xC0000374:
            return "heap corruption";
        case 0xC0000409:
            return "stack buffer overrun";
        case kUncaughtCppException:
        case kGccCppException:
            return "C++ exception";
        default:
            return "exception";
    }
}

void formatFatalExceptionLine(char* out, std::size_t size, DWORD code, const char* name,
                              const void* address, const char* dumpPath) {
    char where[MAX_PATH + 32];
    describeAddress(where, sizeof where, address);
    const int n =
        std::snprintf(out, size, "korvel: fatal exception %08lX (%s) at %s, thread %lu, version %s",
                      static_cast<unsigned long>(code), name ? name : "", where,
                      static_cast<unsigned long>(GetCurrentThreadId()), gVersion);
    if (dumpPath != nullptr && dumpPath[0] != '\0' && n > 0 && static_cast<std::size_t>(n) < size) {
        std::snprintf(out + n, size - static_cast<std::size_t>(n), ", dump %s", dumpPath);
    }
}

}  // namespace korvel::shell
