#pragma once

#include <windows.h>

#include <cstddef>

namespace korvel::shell {

// Where the line about a crash goes besides the debugger channel: the traffic log while it is
// open. Called at most once, from the thread that crashed, with the process in an unknown
// state.
using FatalLineSink = void (*)(const char* line);

// The code a C++ exception carries on Windows; an uncaught one ends the process with it.
inline constexpr DWORD kUncaughtCppException = 0xE06D7363;

// From here on, no system dialog waits for a person (a missing disk, a file that cannot be
// opened, Windows Error Reporting's crash box), and anything that nothing handles, a fault or
// an uncaught C++ exception, writes one line and ends the process at once with the exception's
// code, so that the control system's supervisor can start it again.
void endAtOnceOnCrash(FatalLineSink sink);

// "korvel: fatal exception C0000005 at 0x0040123A" (the address as wide as a pointer).
void formatFatalExceptionLine(char* out, std::size_t size, DWORD code, const void* address);

}  // namespace korvel::shell
