#pragma once

#include <windows.h>

#include <cstddef>

namespace korvel::shell {

// Minidumps of this process, for a developer to read the stack of a crash or a hang:
// "korvel-yyyymmdd-hhmmss-mmm-<process id>-<tag>.dmp" in the dumps folder, of which the
// newest kKeptDumps stay. Everything a dump needs is made ready beforehand: writing one
// allocates nothing, so that it works from a crashed thread.
inline constexpr int kKeptDumps = 10;

// Loads dbghelp from the system's folder and remembers the folder (made, if missing, when a
// dump is written).
// False when either cannot be had; dumps are then not written.
bool prepareDumps(const char* folder);

// Writes a dump of every thread's stack and registers, every module, the data segments and
// what the stacks point to: with the exception (a crash) from the thread that raised it, or
// without (a hang) from any thread. The file's path goes to path (may be empty); false when
// nothing was written.
bool writeDump(const char* tag, EXCEPTION_POINTERS* exception, char* path, std::size_t pathSize);

// "korvel.exe+0x1A2B0" for an address in a module, else "0x..." and "(no module)".
void describeAddress(char* out, std::size_t size, const void* address);

}  // namespace korvel::shell
