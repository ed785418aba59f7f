#pragma once

// Calls into the interface library's two entry points. Nothing fixes their calling
// convention: on 32 bits a __stdcall library removes its arguments from the stack and a cdecl
// one leaves that to the caller, and a caller that guesses wrong corrupts its stack. These calls
// put the stack pointer back after the library returns, whatever the library did with it, so
// either kind of library works. On 64 bits there is one convention and the call is direct.
#include <windows.h>

#include "infodriver/interface_library.h"

namespace korvel::infodriver {

LRESULT callLibraryData(LibraryDataFunction entry, HWND ownWindow, WPARAM wParam, LPARAM lParam);

LRESULT callSlotTraffic(SlotTrafficFunction entry, HWND peerWindow, UINT message,
                        WPARAM slotIndex, LPARAM text, int one, int length);

}  // namespace korvel::infodriver
