#pragma once

// The two entry points of the control system's interface library VRAXIF32.dll, which the
// driver imports by ordinal (the library exports no names). Both run in the calling
// process, on the thread that owns the client's hidden window.
#ifdef _WIN32
#include <windows.h>

namespace korvel::infodriver {

inline constexpr const char* kInterfaceLibraryName = "VRAXIF32.dll";
inline constexpr int kLibraryDataOrdinal = 1;
inline constexpr int kSlotTrafficOrdinal = 2;

// Ordinal 1: called by a client's hidden window for the library's own message 2074, with
// the window and the message's wParam and lParam untouched; returns the answer for the
// message.
using LibraryDataFunction = LRESULT(WINAPI*)(HWND ownWindow, WPARAM wParam, LPARAM lParam);

// Ordinal 2: slot traffic to the infodriver's window. message is 2726 (write slot),
// 2731 (write slot, for a negative index, given as its absolute value) or 2727 (read
// slot: fills text, at most length bytes, terminator included). one is always 1; for a
// write, length is the text's length plus its terminator.
using SlotTrafficFunction = LRESULT(WINAPI*)(HWND peerWindow, UINT message, WPARAM slotIndex,
                                             LPARAM text, int one, int length);

}  // namespace korvel::infodriver
#endif
