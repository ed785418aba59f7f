#pragma once

#include <windows.h>

#include <cstddef>

namespace korvel::shell {

// Where the line about a crash goes besides the debugger channel: the events journal in the
// driver. Called at most once, from the thread that crashed, with the process in an unknown
// state: it must not wait on the main thread.
using FatalLineSink = void (*)(const char* line);

// The code a C++ exception carries on Windows; an uncaught one ends the process with it.
inline constexpr DWORD kUncaughtCppException = 0xE06D7363;
// The code GCC's 64-bit exceptions are raised with: one that no frame catches reaches the
// crash filter with it, and is reported and ended as kUncaughtCppException.
inline constexpr DWORD kGccCppException = 0x20474343;

// From here on, no system dialog waits for a person (a missing disk, a file that cannot be
// opened, Windows Error Reporting's crash box), and anything that nothing handles, a fault or
// an uncaught C++ exception, writes a minidump (once prepareDumps has run) and one line, and
// ends the process at once with the exception's code, so that the control system's
// supervisor can start it again. versionText goes into the line.
void endAtOnceOnCrash(FatalLineSink sink, const char* versionText = "");

// Sets the crash filter again: a library loaded later (the interface library, say) may
// have set one of its own.
void reinstallCrashFilter();

// A short name for an exception code: "access violation", "stack overflow", "C++ exception".
const char* exceptionName(DWORD code);

// "korvel: fatal exception C0000005 (access violation) at korvel.exe+0x1A2B0, thread 1234,
// version 1.4.0" (the address as module and offset), and ", dump <path>" when one was written.
void formatFatalExceptionLine(char* out, std::size_t size, DWORD code, const char* name,
                              const void* address, const char* dumpPath);

}  // namespace korvel::shell
