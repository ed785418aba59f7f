#pragma once

#include <windows.h>

#include <cstddef>

#include "infodriver/interface_library.h"

namespace korvel::infodriver {

// Loads the interface library by name (never by the program's import table, whose loader
// would stop a start without it on a dialog) and hands its ordinals 1 and 2 to the Windows
// transport. On failure nothing changes and the message (when given) says why.
bool loadInterfaceLibrary(const char* name, char* message, std::size_t size);

// For start-up: loads the interface library, or shows the driver's timed error box with
// the reason and returns false, and the start is refused.
bool requireInterfaceLibrary(HWND owner, const char* name = kInterfaceLibraryName);

}  // namespace korvel::infodriver
